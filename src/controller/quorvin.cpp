#include "controller/quorvin.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "controller/history/job_history.h"
#include "controller/hooks/plan_hooks.h"
#include "controller/jobs/offsite/offsite_restore_job.h"
#include "controller/jobs/offsite/plan_offsite.h"
#include "controller/recovery/recovery.h"
#include "jobs/job_kind.h"
#include "platform/autostart_entry.h"
#include "platform/computer_name.h"
#include "platform/exception.h"
#include "platform/file_locations.h"
#include "platform/files.h"
#include "platform/text.h"
#include "runner/job_output.h"
#include "runner/job_paths.h"
#include "runner/job_stop.h"

namespace {

TFileLocations LocationsOf(const std::string& programDir) {
  return programDir.empty() ? ProcessFileLocations() : LocateFiles(IncludeTrailingPathDelimiter(programDir));
}

// "Quorvin.INI" → "Quorvin.job"; a title without the suffix keeps its name.
std::string JobRecordName(const std::string& iniName) {
  const std::string suffix = ".INI";
  const bool named =
      iniName.size() > suffix.size() && iniName.compare(iniName.size() - suffix.size(), suffix.size(), suffix) == 0;
  return (named ? iniName.substr(0, iniName.size() - suffix.size()) : iniName) + ".job";
}

TJobPlaces PlacesOf(const TFileLocations& locations, const std::string& title, const std::string& settingsPath) {
  const std::string& state = locations.StateFolder();
  return {state + HistoryFileName(title), state + JobRecordName(title + ".INI"), locations.DataDir, settingsPath};
}

// "/etc/quorvin/Quorvin.INI" → "Quorvin".
std::string TitleOf(const std::string& settingsFile) {
  const std::string name = LastPathComponent(settingsFile);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// How often a job waiting for another program's looks again, the window kept
// alive meanwhile.
constexpr auto LockRetry = std::chrono::milliseconds(20);

}  // namespace

TQuorvin::TQuorvin(TFrontEnd frontEnd, const std::string& programDir, const std::string& title)
    : TQuorvin(std::move(frontEnd), programDir, LocationsOf(programDir), {}, title) {}

TQuorvin::TQuorvin(TFrontEnd frontEnd, const std::string& settingsFile, const TFileLocations& locations)
    : TQuorvin(std::move(frontEnd), {}, locations, settingsFile, TitleOf(settingsFile)) {}

TQuorvin::TQuorvin(TFrontEnd frontEnd, const std::string& programDir, const TFileLocations& locations,
                   const std::string& settingsFile, const std::string& title)
    : FFrontEnd(std::move(frontEnd)),
      FChannel(FFrontEnd.Post ? FFrontEnd.Post : FDispatch.Poster(), FFrontEnd.Pane, FFrontEnd.Prompts,
               FFrontEnd.Notices),
      FProgramDir(IncludeTrailingPathDelimiter(programDir.empty() ? ProgramDirectory() : programDir)),
      FLocations(locations),
      FSettingsFile(settingsFile.empty() ? FLocations.SettingsDir + title + ".INI" : settingsFile),
      FLog(FFrontEnd.StartsLog ? TOperationLog(FLocations.DataDir) : TOperationLog()),
      FJobs(FLog, PlacesOf(FLocations, title, FSettingsFile.Path())),
      FPlan(FLog),
      FTimer(CreatePlanTimer()),
      FPlanLock(FJobs.Places().JobRecordPath + ".plan.lock"),
      FJobsLock(FJobs.Places().JobRecordPath + ".lock") {
  FTimer->SetEnabled(false);
  FTimer->SetInterval(PlanTimerInterval);
  FTimer->SetOnTimer([this] { OnPlanTimer(); });
  // Both reach the front end after everything the job showed before them.
  FQueue.OnJobEnded = [this](const TQueuedJob&) {
    FChannel.Send([this] {
      if (OnJobEnded) OnJobEnded();
    });
  };
  FJobs.OnJobProgress = [this] {
    FChannel.Send([this] {
      if (OnJobProgress) OnJobProgress();
    });
  };
  LoadSettings();
  if (!SettingsFault().empty()) FLog.Stamped(" Внимание: " + SettingsFault());
}

TQuorvin::~TQuorvin() {
  // The front end closes only when JobRunning() is false; a job that runs
  // all the same is let finish before anything it uses goes.
  FQueue.Shutdown();
  FTimer.reset();
  if (!FSettingsFile.WasRead() || !FFrontEnd.WritesSettings) return;
  try {
    WriteIni();
  } catch (const std::exception& e) {
    // A destructor cannot pass the error on; show it as the standard error
    // display would.
    if (FFrontEnd.Prompts) FFrontEnd.Prompts->ShowMessage(MessageOf(e));
  }
}

void TQuorvin::SavePlanRunning(bool running) {
  FSettings.PlanRunning = running;
  FSettingsFile.SavePlanRunning(FSettings);
}

void TQuorvin::ApplyStartWithSession() {
  const std::string entry = AutostartEntryPath(ProcessXdgConfigHome());
  if (FSettings.StartWithSession)
    WriteAutostartEntry(entry, ProgramFile());
  else
    RemoveAutostartEntry(entry);
}

template <typename TOutcome>
std::optional<TOutcome> TQuorvin::HandJob(std::optional<TJobKind> kind, const std::string& database,
                                          std::function<TOutcome(TJobOutput& output)> run,
                                          std::function<void(const TOutcome& outcome)> done, bool finishLeftJob) {
  // The outcome is set on the jobs' thread before the job leaves the queue;
  // Ended on the front end's thread once it has (or did not start).
  struct TEnd {
    std::optional<TOutcome> Outcome;
    bool Ended = false;
  };
  auto end = std::make_shared<TEnd>();
  TQueuedJob job = Locked({kind, database, TJobBy::User, 0,
                           [this, run, end] {
                             TJobOutput output(FChannel.Pane(), FChannel.Prompts());
                             Prepare(output);
                             end->Outcome = run(output);
                           }},
                          finishLeftJob);
  // Told only once the job no longer counts as running: whatever `done`
  // does (the window's announcement) finds no job of its own under way.
  job.Ended = [this, done, end] {
    FChannel.Send([done, end] {
      end->Ended = true;
      if (done && end->Outcome) done(*end->Outcome);
    });
  };
  const bool now = FQueue.Submit(std::move(job));
  if (!now || FFrontEnd.Post || FQueue.OnQueueThread()) return std::nullopt;
  WaitUntil([end] { return end->Ended; });
  return end->Outcome;
}

void TQuorvin::WaitUntil(const std::function<bool()>& ready) {
  constexpr auto Turn = std::chrono::milliseconds(50);
  while (!ready()) {
    FDispatch.WaitAndRun(Turn);
    if (FFrontEnd.WhileWaiting) FFrontEnd.WhileWaiting();
  }
}

void TQuorvin::WaitIdle() {
  WaitUntil([this] { return !FQueue.Active(); });
  // What the last job posted as it ended.
  FDispatch.RunPending();
}

std::optional<TBackupOutcome> TQuorvin::Backup(const std::string& database, TBackupDone done) {
  FSettings.DataBase = database;
  const TDatabaseOptions options = FSettings;
  return HandJob<TBackupOutcome>(
      TJobKind::Backup, database,
      [this, options](TJobOutput& output) { return FJobs.Backup(options, output, TJobBy::User); },
      [this, done](const TBackupOutcome& outcome) {
        if (outcome.Succeeded) FSettings.LastBack = outcome.BackFile;
        if (done) done(outcome);
      });
}

std::optional<TBackupOutcome> TQuorvin::IncrementalBackup(const std::string& database, int level, TBackupDone done) {
  FSettings.DataBase = database;
  const TDatabaseOptions options = FSettings;
  return HandJob<TBackupOutcome>(
      TJobKind::Backup, database,
      [this, options, level](TJobOutput& output) {
        return FJobs.IncrementalBackup(options, level, output, TJobBy::User);
      },
      [this, done](const TBackupOutcome& outcome) {
        if (outcome.Succeeded) FSettings.LastBack = outcome.BackFile;
        if (done) done(outcome);
      });
}

std::optional<bool> TQuorvin::Restore(const std::string& source, const std::string& target, TRestoreDone done) {
  const TDatabaseOptions options = FSettings;
  return HandJob<bool>(
      TJobKind::Restore, target,
      [this, options, source, target](TJobOutput& output) { return FJobs.Restore(options, source, target, output); },
      [done](const bool& restored) {
        if (done) done(restored);
      });
}

std::optional<bool> TQuorvin::RestoreOffsite(const std::string& objectUrl, const std::string& target,
                                             TRestoreDone done) {
  const TDatabaseOptions options = FSettings;
  return HandJob<bool>(
      TJobKind::Restore, target,
      [this, options, objectUrl, target](TJobOutput& output) {
        return RestoreOffsiteObject(options, objectUrl, target, HistoryPath(), output).empty();
      },
      [done](const bool& restored) {
        if (done) done(restored);
      });
}

bool TQuorvin::FinishInterruptedJob() {
  if (JobRunning() || !FileExists(JobRecordPath())) return false;
  // The record of a job that another program is running is that job's own.
  if (!FJobsLock.Acquire()) return false;
  FJobsLock.Release();
  const TLogins logins = RememberedLogins();
  // Only the recovery: no job of its own follows it.
  const std::optional<bool> finished = HandJob<bool>(
      std::nullopt, {}, [this, logins](TJobOutput&) { return FinishLeftJob(TJobBy::User, logins); }, {}, false);
  return finished.value_or(true);
}

bool TQuorvin::FinishLeftJob(TJobBy by, const TLogins& logins) {
  if (!FileExists(JobRecordPath())) return false;
  // Nobody attends a plan backup: recovery's questions get their cautious
  // answers, and no password is asked for.
  const TAttendance attendance = by == TJobBy::Plan ? TAttendance::Unattended : TAttendance::Attended;
  TJobOutput output(FChannel.Pane(), FChannel.Prompts(), attendance);
  TRecovery recovery(JobRecordPath(), IniPath(), HistoryPath(), FLog, RecoveryPassword(attendance, logins), Language());
  return recovery.FinishInterruptedJob(output);
}

TQuorvin::TLogins TQuorvin::RememberedLogins() const {
  TLogins logins;
  // The remembered login of the program, or of the plan's entry.
  for (const TPlanEntry& entry : PlanEntries()) {
    const TDatabaseOptions login = JobOptionsOf(entry, FSettings);
    if (!login.Pass.empty()) logins.emplace_back(login.User, login.Pass);
  }
  return logins;
}

TRecoveryPassword TQuorvin::RecoveryPassword(TAttendance attendance, TLogins logins) {
  return [this, attendance, logins = std::move(logins)](const TJobRecord& record) -> std::optional<std::string> {
    for (const auto& [user, pass] : logins)
      if (SameTextAscii(user, record.User)) return pass;
    TPrompts* prompts = FChannel.Prompts();
    if (!prompts || attendance == TAttendance::Unattended) return std::nullopt;
    return prompts->AskPassword(Message(TMessage::RecoveryPassword, Language(), {record.User, record.Database}));
  };
}

std::string TQuorvin::HolderText() const {
  return FFrontEnd.Name + ", процесс " + std::to_string(ProcessId()) + " на " + ComputerName() + ", с " +
         TOperationLog::LogStamp();
}

bool TQuorvin::Execute() {
  if (!FPlanLock.Acquire()) return false;
  FPlanLock.Describe(HolderText());
  FPlan.Execute();
  FTimer->SetEnabled(true);
  return true;
}

std::string TQuorvin::PlanRunElsewhere() const {
  if (FPlanLock.Held()) return {};
  TFileLock probe(FPlanLock.Path());
  if (probe.Acquire()) return {};
  return ShownHolder(TFileLock::Holder(FPlanLock.Path()), Language());
}

void TQuorvin::Stop() {
  FPlan.Stop();
  FTimer->SetEnabled(false);
  FPlanLock.Release();
  // Backups the plan had queued are not made once it stops; each says so.
  for (const TQueuedJob& dropped : FQueue.Drop([](const TQueuedJob& job) { return job.By == TJobBy::Plan; }))
    FLog.Stamped(" Резервная копия по расписанию не начата: расписание остановлено. " + dropped.Database);
}

bool TQuorvin::PlanBackupRunning() const { return FQueue.Busy() && FQueue.Running()->By == TJobBy::Plan; }

void TQuorvin::OnPlanTimer() {
  if (!FPlan.Running()) return;
  const std::vector<TPlanEntry> entries = PlanEntries();
  // Due together: queued in the order of the list, and run one by one.
  for (const TPlanEntry* entry : FPlan.DueEntries(entries, [this](std::uint64_t id) { return FQueue.Holds(id); })) {
    const TEntryRun* run = FPlan.RunOf(entry->Id);
    FQueue.Submit(PlanBackupJob(*entry, run ? run->DueLevel : 0));
  }
}

void TQuorvin::RunPlanBackup(const TPlanEntry& entry) { FQueue.Submit(PlanBackupJob(entry)); }

TQueuedJob TQuorvin::PlanBackupJob(const TPlanEntry& entry, int level) {
  // The job runs with the settings as they are now: the window may edit
  // them while it waits or runs.
  return Locked({TJobKind::Backup, entry.DataBase, TJobBy::Plan, entry.Id,
                 [this, settings = FSettings, entry, level] { MakePlanBackup(settings, entry, level); }});
}

bool TQuorvin::Stopping() const { return FFrontEnd.Stop != nullptr && FFrontEnd.Stop->Requested(); }

void TQuorvin::Prepare(TJobOutput& output) const { output.SetStop(FFrontEnd.Stop); }

TQueuedJob TQuorvin::Locked(TQueuedJob job, bool finishLeftJob) {
  job.Run = [this, run = std::move(job.Run), finishLeftJob, by = job.By, logins = RememberedLogins()] {
    // Once the front end asked to stop, a job that waited does not start.
    if (Stopping()) return;
    AcquireJobsLock();
    if (Stopping()) {
      FJobsLock.Release();
      return;
    }
    FJobsLock.Describe(HolderText());
    struct TRelease {
      TFileLock& Lock;
      ~TRelease() { Lock.Release(); }
    } release{FJobsLock};
    // A job cut short earlier (by a crash, a kill, or in another program on
    // these settings) is finished before any other job touches its files.
    if (finishLeftJob) FinishLeftJob(by, logins);
    run();
  };
  return job;
}

void TQuorvin::AcquireJobsLock() {
  if (FJobsLock.Acquire()) return;
  const std::string holder = TFileLock::Holder(FJobsLock.Path());
  SetWaitingFor(holder.empty() ? std::string(MessageText(TMessage::AnotherProgram, TLanguage::Russian)) : holder);
  FLog.Stamped(" Задание ждёт окончания задания другой программы: " + ShownHolder(holder, TLanguage::Russian));
  while (!FJobsLock.Acquire() && !Stopping()) std::this_thread::sleep_for(LockRetry);
  SetWaitingFor({});
}

void TQuorvin::SetWaitingFor(std::string holder) {
  std::lock_guard<std::mutex> guard(FWaitingMutex);
  FWaitingFor = std::move(holder);
}

std::string TQuorvin::WaitingFor() const {
  std::lock_guard<std::mutex> guard(FWaitingMutex);
  return FWaitingFor.empty() ? std::string() : ShownHolder(FWaitingFor, Language());
}

void TQuorvin::MakePlanBackup(const TSettings& settings, const TPlanEntry& entry, int level) {
  FLog.Stamped(" резервная копия. начало");
  TJobOutput output(FChannel.Pane(), FChannel.Prompts(), TAttendance::Unattended);
  Prepare(output);
  const TDatabaseOptions options = JobOptionsOf(entry, settings);
  const int made = entry.Incremental() ? FJobs.PlanLevel(options, level) : 0;
  const TBackupOutcome outcome = entry.Incremental() ? FJobs.IncrementalBackup(options, made, output, TJobBy::Plan)
                                                     : FJobs.Backup(options, output, TJobBy::Plan);
  if (outcome.Succeeded) {
    FChannel.Send([this, made = outcome.BackFile] { FSettings.LastBack = made; });
    if (entry.Incremental())
      FJobs.ApplyChainRetention(options, outcome);
    else
      FJobs.ApplyRetention(options, outcome);
  }
  ReportPlanBackup(settings, entry, outcome, output);
  if (outcome.Succeeded && options.Offsite.Active()) SendPlanOffsiteCopy(settings, options, outcome, output);
  FLog.SaveStrToLog("---");
  // A slot of the minute in which the backup ended fell while it ran: the
  // next tick must not start another backup (of the same name) in it.
  FChannel.Send([this, entry, made] { FPlan.ServeHeld(entry, made); });
}

void TQuorvin::SendPlanOffsiteCopy(const TSettings& settings, const TDatabaseOptions& options,
                                   const TBackupOutcome& outcome, TJobOutput& output) {
  // A physical backup is a file of the server's own format: no stream of it
  // goes off-site.
  if (options.Incremental()) {
    FLog.Stamped(" Копия в хранилище объектов делается только для логических копий (gbak). " + options.DataBase);
    return;
  }
  const TJobReport report = MakePlanOffsiteCopy(options, outcome, FJobs.Places().HistoryPath, FLog, output);
  if (report.Succeeded) return;
  // Told like a failed plan backup; the backup itself stands.
  if (TNotices* notices = FChannel.Notices()) notices->UnattendedJobEnded(report);
  RunPlanHook(settings, report, FLog, FFrontEnd.Stop);
}

void TQuorvin::ReportPlanBackup(const TSettings& settings, const TPlanEntry& entry, const TBackupOutcome& outcome,
                                const TJobOutput& output) {
  TJobReport report;
  report.Succeeded = outcome.Succeeded;
  report.Ended = Now();
  report.Database = entry.DataBase;
  report.Target = outcome.BackFile;
  if (outcome.Succeeded) {
    report.Warnings = output.Collected();
  } else {
    report.Reason = outcome.Reason;
    // A job that ran has said so with its outcome line already.
    if (!outcome.Started) FLog.Stamped(" Причина: " + report.Reason);
  }
  for (const std::string& warning : report.Warnings) FLog.Stamped(" Внимание: " + warning);
  FChannel.Send([this, id = entry.Id, report] { FPlan.NoteReport(id, report); });
  if (TNotices* notices = FChannel.Notices()) notices->UnattendedJobEnded(report);
  // The administrator's own command for the outcome; it never stops the plan.
  RunPlanHook(settings, report, FLog, FFrontEnd.Stop);
}
