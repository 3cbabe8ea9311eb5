#include "controller/jobs/job_queue.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "platform/process_signals.h"

TJobQueue::TJobQueue() : FThread([this] { Loop(); }) {}

TJobQueue::~TJobQueue() { Shutdown(); }

void TJobQueue::Shutdown() {
  if (OnQueueThread()) {
    // A job destroys what runs it: going on would run it on freed memory,
    // which is worse than stopping here.
    std::fputs("Quorvin: the core was destroyed while a job was running\n", stderr);
    std::abort();
  }
  {
    std::lock_guard<std::mutex> guard(FMutex);
    FQuit = true;
    FWaiting.clear();
  }
  FChanged.notify_all();
  if (FThread.joinable()) FThread.join();
}

bool TJobQueue::Submit(TQueuedJob job) {
  bool idle = false;
  {
    std::lock_guard<std::mutex> guard(FMutex);
    if (FQuit) return false;
    idle = !FRunning && FWaiting.empty();
    FWaiting.push_back(std::move(job));
  }
  FChanged.notify_all();
  return idle;
}

void TJobQueue::Loop() {
  // A job waiting in the client library is not interrupted by a termination
  // signal: the front end's thread reads those and asks the job to stop.
  TTerminationSignals::BlockInThisThread();
  for (;;) {
    TQueuedJob job;
    {
      std::unique_lock<std::mutex> lock(FMutex);
      FChanged.wait(lock, [this] { return FQuit || !FWaiting.empty(); });
      if (FQuit) return;
      FRunning = std::move(FWaiting.front());
      FWaiting.pop_front();
      job = *FRunning;
    }
    RunOne(job);
  }
}

void TJobQueue::RunOne(TQueuedJob& job) {
  try {
    if (job.Run) job.Run();
  } catch (...) {
    // A job reports its own failures; one that escapes must not end the
    // thread and strand the jobs after it.
  }
  {
    std::lock_guard<std::mutex> guard(FMutex);
    FRunning.reset();
    FEnding = true;
  }
  FChanged.notify_all();
  // Told once the job no longer runs: whoever hears it may ask for the next.
  try {
    // The queue's listener first: whoever waits for this job's end finds
    // everything told by then.
    if (OnJobEnded) OnJobEnded(job);
    if (job.Ended) job.Ended();
  } catch (...) {
    // The job is over either way; a notice of its end is not its business.
  }
  {
    std::lock_guard<std::mutex> guard(FMutex);
    FEnding = false;
  }
  FChanged.notify_all();
}

bool TJobQueue::Busy() const {
  std::lock_guard<std::mutex> guard(FMutex);
  return FRunning.has_value();
}

std::optional<TQueuedJob> TJobQueue::Running() const {
  std::lock_guard<std::mutex> guard(FMutex);
  return FRunning;
}

std::deque<TQueuedJob> TJobQueue::Waiting() const {
  std::lock_guard<std::mutex> guard(FMutex);
  return FWaiting;
}

bool TJobQueue::Active() const {
  std::lock_guard<std::mutex> guard(FMutex);
  return FRunning.has_value() || !FWaiting.empty() || FEnding;
}

bool TJobQueue::Holds(std::uint64_t entryId) const {
  if (entryId == 0) return false;
  std::lock_guard<std::mutex> guard(FMutex);
  if (FRunning && FRunning->EntryId == entryId) return true;
  return std::any_of(FWaiting.begin(), FWaiting.end(), [&](const TQueuedJob& job) { return job.EntryId == entryId; });
}

std::vector<TQueuedJob> TJobQueue::Drop(const std::function<bool(const TQueuedJob&)>& drop) {
  std::vector<TQueuedJob> dropped;
  std::lock_guard<std::mutex> guard(FMutex);
  for (auto it = FWaiting.begin(); it != FWaiting.end();) {
    if (drop(*it)) {
      dropped.push_back(std::move(*it));
      it = FWaiting.erase(it);
    } else {
      ++it;
    }
  }
  return dropped;
}
