#include "app/session_end.h"

#include "platform/process_signals.h"

TSessionEndWatcher::TSessionEndWatcher(std::function<void()> onSessionEnd, QObject* parent)
    : QObject(parent), FOnSessionEnd(std::move(onSessionEnd)) {
  const int pipe = TTerminationSignals::Install();
  if (pipe < 0) return;
  FNotifier = std::make_unique<QSocketNotifier>(pipe, QSocketNotifier::Read);
  connect(FNotifier.get(), &QSocketNotifier::activated, this, [this] {
    if (TTerminationSignals::Drain() > 0 && FOnSessionEnd) FOnSessionEnd();
  });
}

TSessionEndWatcher::~TSessionEndWatcher() {
  FNotifier.reset();
  TTerminationSignals::Uninstall();
}
