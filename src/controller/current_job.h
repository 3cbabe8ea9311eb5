#pragma once
// Makes a recorder the controller's current job for the life of the object
// (JobProgress() reads it) and tells OnJobProgress when it starts and ends.
// A verification inside a backup is current while it runs; the backup is
// current again afterwards.

#include "controller/job_recorder.h"
#include "controller/quorvin.h"

class TCurrentJob {
 public:
  TCurrentJob(TQuorvin& owner, TJobRecorder& recorder) : FOwner(owner), FPrevious(owner.FRecorder) {
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
  TQuorvin& FOwner;
  TJobRecorder* FPrevious;
};
