#include "cli/signal_pump.h"

#include <poll.h>

#include "platform/process_signals.h"

TSignalPump::TSignalPump() { FSignalFd = TTerminationSignals::Install(); }

TSignalPump::~TSignalPump() { TTerminationSignals::Uninstall(); }

void TSignalPump::Turn() {
  // A turn that leads into the core may wait, and so turn, again: once is
  // enough.
  if (FInTurn) return;
  FInTurn = true;
  struct TLeave {
    bool& InTurn;
    ~TLeave() { InTurn = false; }
  } leave{FInTurn};
  // The client library may have put its own handler in place meanwhile.
  TTerminationSignals::Reclaim();
  const int signals = TTerminationSignals::Drain();
  if (signals > 0 && OnSignals) OnSignals(signals);
  if (OnTurn) OnTurn();
}

void TSignalPump::Wait(int milliseconds, int otherFd) {
  pollfd waits[2] = {{FSignalFd, POLLIN, 0}, {otherFd, POLLIN, 0}};
  poll(waits, 2, milliseconds);
  Turn();
}
