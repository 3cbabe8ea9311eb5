#include "cli/signal_pump.h"

#include <poll.h>

#include <chrono>

#include "platform/process_signals.h"
#include "runner/ui_seams.h"

TSignalPump::TSignalPump() {
  FSignalFd = TTerminationSignals::Install();
  SetMessagePump([this] { Turn(); });
  SetBlockingCallRunner([this](const TBlockingCall& call) {
    TBlockingCallThread::TWaiting waiting;
    waiting.Grace = std::chrono::milliseconds(20);
    waiting.Turn = [this] { Turn(); };
    FThread.Run(call, waiting);
  });
}

TSignalPump::~TSignalPump() {
  SetBlockingCallRunner({});
  SetMessagePump({});
  TTerminationSignals::Uninstall();
}

void TSignalPump::Turn() {
  // A turn that leads into the core (a tick) may pump again: once is enough.
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

void TSignalPump::Wait(int milliseconds) {
  if (FSignalFd >= 0) {
    pollfd wait{FSignalFd, POLLIN, 0};
    poll(&wait, 1, milliseconds);
  }
  Turn();
}
