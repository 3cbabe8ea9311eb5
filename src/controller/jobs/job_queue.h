#pragma once
// One job at a time. A job asked for while another runs (a plan backup that
// fell due meanwhile, a backup started by hand during a plan backup) waits in
// the queue, and the jobs run one after the other in the order they were
// asked for: none is skipped, none runs beside another.
//
// A job runs inside the call that started the first of them: that call runs
// every job queued meanwhile before it returns (the runner lets events in
// during a job, so the next job is asked for from inside the running one).

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "controller/jobs/database_jobs.h"

struct TQueuedJob {
  // What the job works on, for the status line and the log.
  std::int32_t Kind = 0;  // TSchedule::KindBackup or KindRestore
  std::string Database;
  TJobBy By = TJobBy::User;
  // The plan entry whose backup it is (0: none).
  std::uint64_t EntryId = 0;
  std::function<void()> Run;
};

class TJobQueue {
 public:
  TJobQueue() = default;
  TJobQueue(const TJobQueue&) = delete;
  TJobQueue& operator=(const TJobQueue&) = delete;

  // Runs `job` at once when no job runs, and after it every job queued
  // meanwhile, in order; true then. Otherwise the job waits its turn: false.
  bool Submit(TQueuedJob job);
  // Queues `job` without running anything (jobs that fell due together are
  // queued first, then run).
  void Enqueue(TQueuedJob job) { FWaiting.push_back(std::move(job)); }
  // When no job runs: runs the waiting jobs, and those queued meanwhile, in
  // order; true then.
  bool RunWaiting();
  // A job runs.
  bool Busy() const { return FRunning.has_value(); }
  const std::optional<TQueuedJob>& Running() const { return FRunning; }
  const std::deque<TQueuedJob>& Waiting() const { return FWaiting; }
  // The entry's backup runs or waits.
  bool Holds(std::uint64_t entryId) const;
  // Takes the waiting jobs for which `drop` is true out of the queue, in
  // their order.
  std::vector<TQueuedJob> Drop(const std::function<bool(const TQueuedJob&)>& drop);
  // Called after each job (the queue may hold more).
  std::function<void(const TQueuedJob& job)> OnJobEnded;

 private:
  void RunOne(TQueuedJob job);

  std::optional<TQueuedJob> FRunning;
  std::deque<TQueuedJob> FWaiting;
};
