#pragma once
// The event pump of quorvinctl, which has no event loop of its own: the core
// calls it while a job runs (after each line of output, between waits), and
// it also runs while a library call waits on the server (the call itself on
// a helper thread). Each turn reads the termination signals (SIGTERM,
// SIGINT, SIGHUP; a handler only notes them) and gives its owner a turn.

#include <functional>

#include "service/blocking_call.h"

class TSignalPump {
 public:
  // Installs the signal handlers, the pump and the blocking-call thread.
  TSignalPump();
  // Puts the defaults back.
  ~TSignalPump();
  TSignalPump(const TSignalPump&) = delete;
  TSignalPump& operator=(const TSignalPump&) = delete;

  // Called with the number of signals received since the last turn.
  std::function<void(int signals)> OnSignals;
  // Called at every turn.
  std::function<void()> OnTurn;

  // One turn: what the core's ProcessMessages does.
  void Turn();
  // Waits up to `milliseconds` for a signal, then takes a turn.
  void Wait(int milliseconds);

 private:
  int FSignalFd = -1;
  bool FInTurn = false;
  TBlockingCallThread FThread;
};
