#include "controller/jobs/job_queue.h"

#include <algorithm>
#include <exception>

bool TJobQueue::Submit(TQueuedJob job) {
  const bool idle = !Busy();
  Enqueue(std::move(job));
  return idle && RunWaiting();
}

bool TJobQueue::RunWaiting() {
  if (Busy()) return false;
  // An error that escapes a job does not strand those after it; the first
  // one is passed on once the queue is empty.
  std::exception_ptr error;
  while (!FWaiting.empty()) {
    TQueuedJob next = std::move(FWaiting.front());
    FWaiting.pop_front();
    try {
      RunOne(std::move(next));
    } catch (...) {
      if (!error) error = std::current_exception();
    }
  }
  if (error) std::rethrow_exception(error);
  return true;
}

void TJobQueue::RunOne(TQueuedJob job) {
  FRunning = std::move(job);
  struct TEnd {
    TJobQueue& Queue;
    ~TEnd() {
      const TQueuedJob ended = std::move(*Queue.FRunning);
      Queue.FRunning.reset();
      if (!Queue.OnJobEnded) return;
      try {
        Queue.OnJobEnded(ended);
      } catch (...) {
        // The job is over either way; a notice of its end is not its business.
      }
    }
  } end{*this};
  if (FRunning->Run) FRunning->Run();
}

bool TJobQueue::Holds(std::uint64_t entryId) const {
  if (entryId == 0) return false;
  if (FRunning && FRunning->EntryId == entryId) return true;
  return std::any_of(FWaiting.begin(), FWaiting.end(), [&](const TQueuedJob& job) { return job.EntryId == entryId; });
}

std::vector<TQueuedJob> TJobQueue::Drop(const std::function<bool(const TQueuedJob&)>& drop) {
  std::vector<TQueuedJob> dropped;
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
