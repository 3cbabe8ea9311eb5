#pragma once
// Marks the jobs part as running a job for the life of the object, and makes
// a recorder its current job (JobProgress() reads it) for the life of
// another: a verification inside a backup is current while it runs, the
// backup again afterwards. OnJobProgress hears both.

#include <mutex>

#include "controller/history/job_recorder.h"
#include "controller/jobs/database_jobs.h"

class TJobScope {
 public:
  explicit TJobScope(TDatabaseJobs& owner) : FOwner(owner) { FOwner.FJobRunning = true; }
  // The job has passed its checks: the status line names it.
  void Name(TRunningJob job) {
    std::lock_guard<std::mutex> guard(FOwner.FProgressMutex);
    FOwner.FRunningJob = std::move(job);
  }
  ~TJobScope() {
    FOwner.FJobRunning = false;
    std::lock_guard<std::mutex> guard(FOwner.FProgressMutex);
    FOwner.FRunningJob = {};
  }
  TJobScope(const TJobScope&) = delete;
  TJobScope& operator=(const TJobScope&) = delete;

 private:
  TDatabaseJobs& FOwner;
};

class TCurrentJob {
 public:
  TCurrentJob(TDatabaseJobs& owner, TJobRecorder& recorder) : FOwner(owner) {
    {
      std::lock_guard<std::mutex> guard(FOwner.FProgressMutex);
      FPrevious = FOwner.FRecorder;
      FOwner.FRecorder = &recorder;
    }
    FOwner.NotifyProgress();
  }
  ~TCurrentJob() {
    {
      std::lock_guard<std::mutex> guard(FOwner.FProgressMutex);
      FOwner.FRecorder = FPrevious;
    }
    FOwner.NotifyProgress();
  }
  TCurrentJob(const TCurrentJob&) = delete;
  TCurrentJob& operator=(const TCurrentJob&) = delete;

 private:
  TDatabaseJobs& FOwner;
  TJobRecorder* FPrevious = nullptr;
};

// Makes `phases` the progress of the job under way for the life of the
// object.
class TPhasesScope {
 public:
  TPhasesScope(TDatabaseJobs& owner, TPhasedProgress& phases) : FOwner(owner) {
    std::lock_guard<std::mutex> guard(FOwner.FProgressMutex);
    FOwner.FPhases = &phases;
  }
  ~TPhasesScope() {
    std::lock_guard<std::mutex> guard(FOwner.FProgressMutex);
    FOwner.FPhases = nullptr;
  }
  TPhasesScope(const TPhasesScope&) = delete;
  TPhasesScope& operator=(const TPhasesScope&) = delete;

 private:
  TDatabaseJobs& FOwner;
};
