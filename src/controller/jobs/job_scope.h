#pragma once
// Marks the jobs part as running a job for the life of the object, and makes
// a recorder its current job (JobProgress() reads it) for the life of
// another: a verification inside a backup is current while it runs, the
// backup again afterwards. OnJobProgress hears both.

#include "controller/history/job_recorder.h"
#include "controller/jobs/database_jobs.h"

class TJobScope {
 public:
  explicit TJobScope(TDatabaseJobs& owner) : FOwner(owner) { FOwner.FJobRunning = true; }
  // The job has passed its checks: the status line names it.
  void Name(TRunningJob job) { FOwner.FRunningJob = std::move(job); }
  ~TJobScope() {
    FOwner.FJobRunning = false;
    FOwner.FRunningJob = {};
  }
  TJobScope(const TJobScope&) = delete;
  TJobScope& operator=(const TJobScope&) = delete;

 private:
  TDatabaseJobs& FOwner;
};

class TCurrentJob {
 public:
  TCurrentJob(TDatabaseJobs& owner, TJobRecorder& recorder) : FOwner(owner), FPrevious(owner.FRecorder) {
    FOwner.FRecorder = &recorder;
    FOwner.NotifyProgress();
  }
  ~TCurrentJob() {
    FOwner.FRecorder = FPrevious;
    FOwner.NotifyProgress();
  }
  TCurrentJob(const TCurrentJob&) = delete;
  TCurrentJob& operator=(const TCurrentJob&) = delete;

 private:
  TDatabaseJobs& FOwner;
  TJobRecorder* FPrevious;
};

// Makes `phases` the progress of the job under way for the life of the
// object.
class TPhasesScope {
 public:
  TPhasesScope(TDatabaseJobs& owner, TPhasedProgress& phases) : FOwner(owner) { FOwner.FPhases = &phases; }
  ~TPhasesScope() { FOwner.FPhases = nullptr; }
  TPhasesScope(const TPhasesScope&) = delete;
  TPhasesScope& operator=(const TPhasesScope&) = delete;

 private:
  TDatabaseJobs& FOwner;
};
