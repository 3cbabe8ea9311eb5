// The weekly plan: a tick every 5000 ms checks the wall clock's minute against
// the plan and starts at most one backup per minute.

#include <cmath>
#include <cstdlib>

#include "controller/job_scope.h"
#include "controller/quorvin.h"
#include "platform/clock.h"
#include "runner/job_notices.h"

namespace {

// Why a plan backup failed when nothing in the job said so: the job ran to its
// end, but its file is not to be seen here (the server wrote it where this
// computer does not look).
constexpr const char* NoBackupFileReason = "файл копии не найден на этом компьютере";

// hour × 100000 + minute × 1000 + second × 10
std::int32_t MinuteStamp(int hour, int minute, int second) { return hour * 100000 + minute * 1000 + second * 10; }

std::int32_t MinuteStamp(TDateTime value) {
  const TDateParts t = DecodeDateTime(value);
  return MinuteStamp(t.Hour, t.Minute, t.Second);
}

bool WeekdayOn(const TPlanRecord& plan, TDateTime moment) {
  const bool days[] = {plan.Day1Back, plan.Day2Back, plan.Day3Back, plan.Day4Back,
                       plan.Day5Back, plan.Day6Back, plan.Day7Back};
  return days[DayOfTheWeek(moment) - 1];
}

// The period table's verdict for the minute of `moment` on a weekday that is
// switched on, after a plan backup at `lastPlanRun` (0: none in this run).
bool DueByTable(const TPlanRecord& plan, TDateTime moment, TDateTime lastPlanRun) {
  const int lastHour = DecodeDateTime(lastPlanRun).Hour;
  const std::int32_t dayStart = MinuteStamp(plan.DayBeginBack);
  const std::int32_t nightStart = MinuteStamp(plan.NightBeginBack);
  const TDateParts t = DecodeDateTime(moment);
  const std::int32_t stamp = MinuteStamp(t.Hour, t.Minute, 0);
  const bool dayWindow = dayStart <= stamp && stamp < nightStart;
  const std::uint8_t period = dayWindow ? plan.DayPeriodBack : plan.NightPeriodBack;
  const TDateTime clock = dayWindow ? plan.DayClockBack : plan.NightClockBack;

  const auto everyHours = [&](int hours) {
    return t.Minute == 0 && (lastPlanRun == 0 || std::abs(lastHour - t.Hour) == hours);
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
  if (!WeekdayOn(plan, now)) return false;
  const TDateParts t = DecodeDateTime(now);
  const std::int32_t stamp = MinuteStamp(t.Hour, t.Minute, 0);
  if (stamp > LastTickStamp || DateChanged(now, LastPlanRun)) {
    FiredThisMinute = false;
    LastTickStamp = stamp;
  }
  return DueByTable(plan, now, LastPlanRun);
}

// A plain scan, minute by minute, over the same table the plan check uses.
std::optional<TDateTime> TQuorvin::NextPlanBackup() const {
  constexpr int MinutesAhead = 8 * 24 * 60;
  constexpr TDateTime OneMinute = 1.0 / (24 * 60);
  const TDateParts n = DecodeDateTime(Now());
  TDateTime minute = EncodeDate(n.Year, n.Month, n.Day) + EncodeTime(n.Hour, n.Minute, 0, 0);
  // The current minute is still to come while its backup has not started.
  const bool firedNow = FiredThisMinute && LastTickStamp == MinuteStamp(n.Hour, n.Minute, 0);
  if (firedNow || Busy) minute += OneMinute;
  for (int i = 0; i < MinutesAhead; ++i, minute += OneMinute) {
    // Whole minutes: no drift from adding fractions of a day.
    const TDateTime at = std::round(minute * 24 * 60) / (24 * 60);
    if (WeekdayOn(PlanRecord, at) && DueByTable(PlanRecord, at, LastPlanRun)) return at;
  }
  return std::nullopt;
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
  TUnattendedJob unattended;
  const bool made = BackupJob();
  ReportPlanBackup(made, unattended);
  SaveStrToLog("---");
}

void TQuorvin::ReportPlanBackup(bool made, const TUnattendedJob& job) {
  TJobReport report;
  report.Succeeded = made;
  report.Ended = Now();
  report.Database = DataBase;
  report.Target = BackFile;
  if (made) {
    report.Warnings = job.Collected();
  } else {
    report.Reason = job.Reason().empty() ? NoBackupFileReason : job.Reason();
    SaveStrToLog(LogStamp() + " Причина: " + report.Reason);
  }
  for (const std::string& warning : report.Warnings) SaveStrToLog(LogStamp() + " Внимание: " + warning);
  LastPlanBackup = std::move(report);
  try {
    Notices().UnattendedJobEnded(LastPlanBackup);
  } catch (...) {
    // The report is in the log and in LastPlanBackup; the plan goes on.
  }
}
