#pragma once
// The plan timer as a QTimer of the user-interface thread.

#include <QTimer>

#include "controller/plan/plan_timer.h"

class TQtPlanTimer : public TPlanTimer {
 public:
  TQtPlanTimer();
  void SetEnabled(bool enabled) override;
  void SetInterval(int msec) override;

 private:
  QTimer FTimer;
};
