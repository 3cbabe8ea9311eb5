#pragma once
// The blocking-call runner of the Qt program.

#include "service/blocking_call.h"

// The program's blocking-call runner: each call runs on the one helper thread
// of TBlockingCallThread while the user-interface thread keeps handling
// events in a local event loop. A call that ends within a couple of
// milliseconds (most output queries) is simply waited for, so a fast job does
// not pay for an event loop per line.
class TBlockingCallWorker {
 public:
  // Runs `call` exactly once on the helper thread and returns when it has
  // ended, rethrowing its exception unchanged. Called from any other thread
  // than the user-interface thread it runs the call directly.
  void Run(const TBlockingCall& call);

  // Installs / removes this worker as the service layer's runner.
  void Install();
  static void Uninstall();

 private:
  TBlockingCallThread FThread;
};
