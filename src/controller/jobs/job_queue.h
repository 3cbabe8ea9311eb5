#pragma once
// One job at a time, on a thread of the queue's own. A job asked for while
// another runs (a plan backup that fell due meanwhile, a backup started by
// hand during a plan backup) waits, and the jobs run one after the other in
// the order they were asked for: none is skipped, none runs beside another.
// The thread that asks (the front end's) never runs a job, so it never waits
// for one unless it chooses to.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "controller/jobs/database_jobs.h"

struct TQueuedJob {
  // What the job works on, for the status line and the log.
  std::optional<TJobKind> Kind;  // a backup or a restore; none: only a recovery
  std::string Database;
  TJobBy By = TJobBy::User;
  // The plan entry whose backup it is (0: none).
  std::uint64_t EntryId = 0;
  std::function<void()> Run{};
  // Called on the queue's thread once the job no longer runs (also when it
  // did not start).
  std::function<void()> Ended{};
};

class TJobQueue {
 public:
  TJobQueue();
  // Shutdown().
  ~TJobQueue();
  TJobQueue(const TJobQueue&) = delete;
  TJobQueue& operator=(const TJobQueue&) = delete;

  // Queues `job` to run once every job before it has run; true when none
  // ran or waited before it (it starts at once).
  bool Submit(TQueuedJob job);
  // A job runs.
  bool Busy() const;
  // The job that runs, and those that wait (copies: the queue moves on).
  std::optional<TQueuedJob> Running() const;
  std::deque<TQueuedJob> Waiting() const;
  // A job runs or waits, or the one that ran is still telling its end.
  bool Active() const;
  // The entry's backup runs or waits.
  bool Holds(std::uint64_t entryId) const;
  // Takes the waiting jobs for which `drop` is true out of the queue, in
  // their order.
  std::vector<TQueuedJob> Drop(const std::function<bool(const TQueuedJob&)>& drop);
  // True on the queue's own thread (inside a job).
  bool OnQueueThread() const { return std::this_thread::get_id() == FThread.get_id(); }
  // Drops the waiting jobs, lets the running one end and ends the thread.
  void Shutdown();
  // Called on the queue's thread after each job.
  std::function<void(const TQueuedJob& job)> OnJobEnded;

 private:
  void Loop();
  void RunOne(TQueuedJob& job);

  mutable std::mutex FMutex;
  std::condition_variable FChanged;
  std::optional<TQueuedJob> FRunning;
  std::deque<TQueuedJob> FWaiting;
  // Between a job's end and the last of its end notices: whoever waits for
  // the queue to be idle must find them posted.
  bool FEnding = false;
  bool FQuit = false;
  std::thread FThread;
};
