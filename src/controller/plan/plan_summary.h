#pragma once
// An entry's weekly plan in a few words, for the plan's list in the window
// and the command line's status: "Пн–Пт; днём раз в 1 час, ночью в 23:30";
// and why a rhythm it names can never run.

#include <string>

#include "controller/plan/plan_rules.h"

std::string PlanSummary(const TPlanRecord& plan);

// A window's start as the dialog's pickers show it ("08:00"), the seconds
// only where there are any.
std::string StartText(TDateTime value);

// Why a chosen rhythm of `plan` can never start a backup, in a sentence for
// the schedule dialog ("Дневной ритм «в 00:00» не сработает ни разу: …");
// empty while every chosen rhythm can.
std::string RhythmProblemText(const TPlanRecord& plan);
