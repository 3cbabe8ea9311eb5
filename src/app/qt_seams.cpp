#include "app/qt_seams.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <memory>

#include "app/qt_plan_timer.h"
#include "controller/plan/plan_timer.h"
#include "runner/ui_seams.h"

void InstallQtSeams() {
  // The runner pumps after every line of output, which can mean tens of
  // thousands of lines a second; handling events (and so repainting the
  // pane) at most every PumpIntervalMs looks the same to the user and keeps
  // a line's cost to the append itself.
  auto since = std::make_shared<QElapsedTimer>();
  SetMessagePump([since] {
    if (since->isValid() && since->elapsed() < PumpIntervalMs) return;
    QCoreApplication::processEvents();
    since->start();
  });
  SetPlanTimerFactory([] { return std::make_unique<TQtPlanTimer>(); });
}

void UninstallQtSeams() {
  SetMessagePump({});
  SetPlanTimerFactory({});
}
