#pragma once
// An entry's weekly plan in a few words, for the plan's list in the window
// and the command line's status: "Пн–Пт; днём раз в 1 час, ночью в 23:30".

#include <string>

#include "controller/plan/plan_rules.h"

std::string PlanSummary(const TPlanRecord& plan);
