// The weekly plan: a tick every 5000 ms checks the wall clock's minute against
// the plan and starts at most one backup per minute (the rules themselves are
// in plan_rules.cpp).

#include "controller/job_scope.h"
#include "controller/quorvin.h"
#include "platform/clock.h"
#include "runner/job_notices.h"

namespace {

// Why a plan backup failed when nothing in the job said so: the job ran to its
// end, but its file is not to be seen here (the server wrote it where this
// computer does not look).
constexpr const char* NoBackupFileReason = "файл копии не найден на этом компьютере";

// hour × 100000 + minute × 1000
std::int32_t StampOfMinute(TDateTime value) {
  const TDateParts t = DecodeDateTime(value);
  return t.Hour * 100000 + t.Minute * 1000;
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
  const std::int64_t steadyMs = ReadClock().SteadyMs;
  FPlanVerdict = {};
  if (!PlanDayEnabled(plan, now)) {
    RecordPlanTick(FPlanState, now, steadyMs);
    return false;
  }
  // Any other minute is a new one: after the clock went back (summer time
  // ending, set back by hand) the minutes that come again are new as well;
  // the wall-clock minutes that saw a start keep them from a second one.
  const std::int32_t stamp = StampOfMinute(now);
  if (stamp != LastTickStamp || DateChanged(now, LastPlanRun)) {
    FiredThisMinute = false;
    LastTickStamp = stamp;
  }
  FPlanVerdict = CheckPlanRules(plan, FPlanState, LastPlanRun, now, steadyMs);
  RecordPlanTick(FPlanState, now, steadyMs);
  return FPlanVerdict.Due;
}

void TQuorvin::RunPlanBackup() {
  if (FiredThisMinute || FJobRunning) return;
  const TDateTime now = Now();
  if (FPlanState.StartedMinutes.count(WallMinuteOf(now)) > 0) return;
  LastPlanRun = now;
  FiredThisMinute = true;
  RecordPlanStart(FPlanState, FPlanVerdict, now);
  Busy = true;
  TJobScope scope(*this);
  struct TClearBusy {
    bool& Flag;
    ~TClearBusy() { Flag = false; }
  } clearBusy{Busy};
  SaveStrToLog(LogStamp() + " резервная копия. начало");
  TUnattendedJob unattended;
  const bool made = BackupJob();
  if (made) ApplyRetention();
  ReportPlanBackup(made, unattended);
  SaveStrToLog("---");
}

std::optional<TDateTime> TQuorvin::NextPlanBackup() const {
  return ::NextPlanBackup(PlanRecord, FPlanState, LastPlanRun, ReadClock());
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
