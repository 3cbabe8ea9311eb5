#include "app/qt_plan_timer.h"

TQtPlanTimer::TQtPlanTimer() {
  FTimer.setTimerType(Qt::CoarseTimer);
  // The tick runs from the event queue, not inside the timer's own
  // activation: a tick that runs a backup lets events in, and the timer's
  // later ticks (which queue the backups falling due meanwhile) must come
  // through; Qt never activates a timer again while its activation runs.
  QObject::connect(&FTimer, &QTimer::timeout, &FTimer, [this] {
    QMetaObject::invokeMethod(
        &FTimer, [this] { Tick(); }, Qt::QueuedConnection);
  });
}

void TQtPlanTimer::SetEnabled(bool enabled) {
  TPlanTimer::SetEnabled(enabled);
  if (enabled) {
    FTimer.start(FInterval);
  } else {
    FTimer.stop();
  }
}

void TQtPlanTimer::SetInterval(int msec) {
  TPlanTimer::SetInterval(msec);
  FTimer.setInterval(msec);
}
