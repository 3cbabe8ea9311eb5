// The weekly plan: a tick every 5000 ms checks the wall clock's minute against
// the plan and starts at most one backup per minute.

#include <cstdlib>

#include "controller/job_scope.h"
#include "controller/quorvin.h"
#include "platform/clock.h"

namespace {

// hour × 100000 + minute × 1000 + second × 10
std::int32_t MinuteStamp(int hour, int minute, int second) { return hour * 100000 + minute * 1000 + second * 10; }

std::int32_t MinuteStamp(TDateTime value) {
  const TDateParts t = DecodeDateTime(value);
  return MinuteStamp(t.Hour, t.Minute, t.Second);
}

}  // namespace

bool DateChanged(TDateTime a, TDateTime b) {
  const TDateParts x = DecodeDateTime(a);
  const TDateParts y = DecodeDateTime(b);
  return x.Year != y.Year || x.Month != y.Month || x.Day != y.Day;
}

void TQuorvin::OnPlanTimer() {
  Timer->SetEnabled(false);
  // A job the user started is under way (the runner lets ticks through):
  // the minute passes as it would with the timer off.
  if (!Busy && !FJobRunning) {
    PlanRecord.Due = IsPlanDue(PlanRecord);
    if (PlanRecord.Due) RunPlanBackup();
  }
  if (Running) Timer->SetEnabled(true);
}

bool TQuorvin::IsPlanDue(TPlanRecord plan) {
  const TDateTime now = Now();
  const bool days[] = {plan.Day1Back, plan.Day2Back, plan.Day3Back, plan.Day4Back,
                       plan.Day5Back, plan.Day6Back, plan.Day7Back};
  if (!days[DayOfTheWeek(now) - 1]) return false;

  const int lastHour = DecodeDateTime(LastPlanRun).Hour;
  const std::int32_t dayStart = MinuteStamp(plan.DayBeginBack);
  const std::int32_t nightStart = MinuteStamp(plan.NightBeginBack);
  const TDateParts t = DecodeDateTime(now);
  const std::int32_t stamp = MinuteStamp(t.Hour, t.Minute, 0);

  if (stamp > LastTickStamp || DateChanged(now, LastPlanRun)) {
    FiredThisMinute = false;
    LastTickStamp = stamp;
  }

  const bool dayWindow = dayStart <= stamp && stamp < nightStart;
  const std::uint8_t period = dayWindow ? plan.DayPeriodBack : plan.NightPeriodBack;
  const TDateTime clock = dayWindow ? plan.DayClockBack : plan.NightClockBack;

  const auto everyHours = [&](int hours) {
    return t.Minute == 0 && (LastPlanRun == 0 || std::abs(lastHour - t.Hour) == hours);
  };
  switch (period) {
    case 1: return t.Minute == 0 || t.Minute == 20 || t.Minute == 40;
    case 2: return t.Minute == 0 || t.Minute == 30;
    case 3: return t.Minute == 0;
    case 4: return everyHours(2);
    case 5: return everyHours(3);
    case 6: return everyHours(4);
    case 7: {
      const TDateParts c = DecodeDateTime(clock);
      return t.Hour == c.Hour && t.Minute == c.Minute;
    }
    default: return false;
  }
}

void TQuorvin::RunPlanBackup() {
  if (FiredThisMinute || FJobRunning) return;
  LastPlanRun = Now();
  FiredThisMinute = true;
  Busy = true;
  TJobScope scope(*this);
  struct TClearBusy {
    bool& Flag;
    ~TClearBusy() { Flag = false; }
  } clearBusy{Busy};
  SaveStrToLog(LogStamp() + " резервная копия. начало");
  if (BackupJob()) ApplyRetention();
  SaveStrToLog("---");
}
