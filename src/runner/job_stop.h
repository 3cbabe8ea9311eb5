#pragma once
// A request to stop the job under way, made by a front end (the service on
// SIGTERM or SIGINT) and read by the runner between its waits on the server
// and on the copy. A job stopped this way ends as a failed job does: its
// request is given up, the database is brought back on line, the previous
// file is put back and the partial one renamed; nothing new is started.

#include <atomic>

#include "platform/exception.h"

class TJobStop {
 public:
  void Request() { FRequested.store(true); }
  bool Requested() const { return FRequested.load(); }

 private:
  std::atomic<bool> FRequested{false};
};

// How long one wait on the server lasts at most while a job can be stopped.
inline constexpr int StoppableWaitSeconds = 1;

// The error a stopped job ends with; its message is the job's failure reason.
class EJobStopped : public Exception {
 public:
  EJobStopped() : Exception("The job was stopped: the program was asked to end") {}
};
