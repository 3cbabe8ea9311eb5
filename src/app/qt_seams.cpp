#include "app/qt_seams.h"

#include <memory>

#include "app/qt_plan_timer.h"
#include "controller/plan/plan_timer.h"

void InstallQtSeams() {
  SetPlanTimerFactory([] { return std::make_unique<TQtPlanTimer>(); });
}

void UninstallQtSeams() { SetPlanTimerFactory({}); }
