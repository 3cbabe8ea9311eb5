#include "app/qt_plan_timer.h"

TQtPlanTimer::TQtPlanTimer() {
  FTimer.setTimerType(Qt::CoarseTimer);
  QObject::connect(&FTimer, &QTimer::timeout, [this] { Tick(); });
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
