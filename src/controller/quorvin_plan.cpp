// The weekly plan: the timer's tick handler and the plan check.

#include "controller/quorvin.h"

void TQuorvin::OnPlanTimer() {
  // The plan check (IsPlanDue, RunPlanBackup) comes with the plan itself.
}
