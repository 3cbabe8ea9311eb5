#pragma once
// The termination signals of quorvinctl, which has no event loop of its own:
// SIGTERM, SIGINT and SIGHUP are noted by a handler and read here whenever
// the program waits (for a job of its own, or for the plan's next tick),
// and its owner gets a turn then.

#include <functional>

class TSignalPump {
 public:
  // Installs the signal handlers.
  TSignalPump();
  // Puts the defaults back.
  ~TSignalPump();
  TSignalPump(const TSignalPump&) = delete;
  TSignalPump& operator=(const TSignalPump&) = delete;

  // Called with the number of signals received since the last turn.
  std::function<void(int signals)> OnSignals;
  // Called at every turn.
  std::function<void()> OnTurn;

  // One turn: the signals read, the owner's turn taken.
  void Turn();
  // Waits up to `milliseconds` for a signal, or for `otherFd` to become
  // readable (-1: none), then takes a turn.
  void Wait(int milliseconds, int otherFd = -1);

 private:
  int FSignalFd = -1;
  bool FInTurn = false;
};
