#include "controller/plan/plan_timer.h"

namespace {
TPlanTimerFactory& Factory() {
  static TPlanTimerFactory factory;
  return factory;
}
}  // namespace

std::unique_ptr<TPlanTimer> CreatePlanTimer() {
  if (const auto& factory = Factory()) {
    if (auto timer = factory()) return timer;
  }
  return std::make_unique<TPlanTimer>();
}

void SetPlanTimerFactory(TPlanTimerFactory factory) { Factory() = std::move(factory); }
