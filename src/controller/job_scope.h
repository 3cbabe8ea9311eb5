#pragma once
// Marks the controller as running a job for the life of the object and tells
// the owner when the job has ended.

#include "controller/quorvin.h"

class TJobScope {
 public:
  explicit TJobScope(TQuorvin& owner) : FOwner(owner) { FOwner.FJobRunning = true; }
  ~TJobScope() {
    FOwner.FJobRunning = false;
    FOwner.FRunningJob = {};
    if (!FOwner.OnJobEnded) return;
    try {
      FOwner.OnJobEnded();
    } catch (...) {
      // The job is over either way; the owner's notice is not the job's
      // business.
    }
  }
  TJobScope(const TJobScope&) = delete;
  TJobScope& operator=(const TJobScope&) = delete;

 private:
  TQuorvin& FOwner;
};

// The refusal shown when a job is asked for while another one runs.
inline constexpr const char* JobAlreadyRunningText = "Задание уже выполняется. Дождитесь его окончания.";
