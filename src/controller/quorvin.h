#pragma once
// TQuorvin: the one controller of a program run. It holds every setting,
// reads them from the settings file when created and writes them back when
// destroyed, keeps the run's operation log and owns the plan timer.
//
// Sources: quorvin.cpp (construction), quorvin_settings.cpp (the settings
// file and its table of keys and defaults), quorvin_log.cpp (operation log,
// Execute/Stop), quorvin_plan.cpp (timer tick, plan check), quorvin_backup.cpp
// (the orchestration of jobs), quorvin_verify.cpp (verification of a backup
// by a test restore), quorvin_history.cpp (history records, progress,
// retention, the restore's check of its source).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controller/job_progress.h"
#include "controller/job_record.h"
#include "controller/plan_rules.h"
#include "controller/plan_timer.h"
#include "platform/date_time.h"
#include "platform/file_locations.h"
#include "runner/job_notices.h"
#include "runner/local_copy_info.h"

inline constexpr const char* ApplicationTitle = "Quorvin";
inline constexpr int PlanTimerInterval = 5000;

class TSchedule;
class TJobRecorder;
struct TFileFacts;
class TUnattendedJob;

// The job under way, for the status line: its kind (TSchedule::KindBackup or
// KindRestore; 0 while none runs) and the database it works on.
struct TRunningJob {
  std::int32_t Kind = 0;
  std::string File;
};

// True when the two moments fall on different calendar days.
bool DateChanged(TDateTime a, TDateTime b);

class TQuorvin {
 public:
  // `programDir` empty: the folder of the running executable. `title` names
  // the settings file (title + ".INI"). Where the files go follows from the
  // folder (Locations): beside it while it takes files, else the XDG folders.
  explicit TQuorvin(const std::string& programDir = {}, const std::string& title = ApplicationTitle);
  // Frees the timer, then writes the settings back (WriteIni), unless they
  // were never read completely.
  ~TQuorvin();

  TQuorvin(const TQuorvin&) = delete;
  TQuorvin& operator=(const TQuorvin&) = delete;

  // Settings file.
  void LoadSettings();
  void ReadIni();
  void WriteIni();
  void SavePlan();
  // Remembers at once whether the plan runs, and DataBase, the database it
  // backs up: a plan still running when the program ends (with the session,
  // from the tray, or by a crash) starts again at the next start when
  // ResumePlan is on.
  void SavePlanRunning(bool running);
  // Puts the autostart entry of the desktop session in place when
  // StartWithSession is on, takes it away when off; raises EOSError when the
  // entry cannot be written or removed.
  void ApplyStartWithSession();
  bool PlanResumesAtStart() const { return ResumePlan && PlanRunning; }
  std::string IniPath() const { return Locations.SettingsDir + IniName; }

  // Operation log.
  std::string LogStamp() const;
  void SaveStrToLog(const std::string& line);
  // Removes name ("back.log", "rest.log") from the folder of the logs
  // (Locations.DataDir: the program folder when portable) when present; a
  // failure is ignored.
  void RemoveJobLog(const std::string& name);

  // Jobs. True from the start of Backup or Restore (or of a plan backup,
  // from its first log line to "---") to its end: the runner pumps events,
  // so a click or a plan tick can arrive mid-job; callers ask here before
  // starting another job or closing the program. A Backup or Restore asked
  // for meanwhile is refused with a message; destroying the controller
  // meanwhile ends the program (close it once OnJobEnded has been called).
  bool JobRunning() const { return FJobRunning; }
  const TRunningJob& RunningJob() const { return FRunningJob; }
  // Called when a job has ended, while the controller is still inside its
  // own code: post work to the event loop from here, never destroy the
  // controller at once.
  std::function<void()> OnJobEnded;
  // Runs the filled-in job; RunJob by default. Tests put a stand-in here;
  // the job's BeforeRequest hook runs just before it (a stand-in has no
  // shutdown step), its AfterRequest only if the stand-in calls it.
  std::function<bool(TSchedule&)> JobRunner;

  // The job history beside the settings file (quorvin_history.cpp).
  std::string HistoryPath() const { return Locations.SettingsDir + HistoryName; }
  // The estimate of the job under way (a verification counts as a job of
  // its own): nullopt while no job runs, and for a job whose kind has no
  // earlier successful record on its database.
  std::optional<TJobProgress> JobProgress() const;
  // Called when a job starts, after each line of its output, and when it
  // ends: the place to refresh a display of JobProgress().
  std::function<void()> OnJobProgress;
  // Removes the plan database's old backups by KeepLastBackups and
  // KeepBackupDays, one operation log line each; called after a successful
  // plan backup.
  void ApplyRetention();
  // The record of a job in progress: beside the settings file, named after
  // the title ("Quorvin.job"); see job_record.h.
  std::string JobRecordPath() const;
  // Finishes what a job cut short by a crash or a kill left, when its record
  // is there (quorvin_recovery.cpp): files moved aside go back under their
  // names, a partial file is renamed ".failed", the database is brought back
  // on line; the operation log says what was done and the user is told once
  // (Prompts().ShowNotice). False when there was nothing to finish. Called
  // by the main window once it is shown, before any job.
  bool FinishInterruptedJob();

  // Backup and restore (quorvin_backup.cpp).
  bool Backup();
  bool Restore();
  void SplitDataBaseName();
  bool DeleteIfExists(const std::string& path);

  // Plan.
  void Execute();
  void Stop();
  void OnPlanTimer();
  // The plan check on a copy of the plan (quorvin_plan.cpp, the rules in
  // plan_rules.h).
  bool IsPlanDue(TPlanRecord plan);
  // The moment at which the plan would start its next backup (of DataBase),
  // looking 8 days ahead from now; nullopt for none. The rules alone, as if
  // the plan ran: the caller shows it only while Running.
  std::optional<TDateTime> NextPlanBackup() const;
  // A plan backup is unattended: it never waits on a box (job_notices.h).
  // Its outcome goes to LastPlanBackup, to the operation log (a failure with
  // a line " Причина: " + the reason after the outcome line) and to
  // Notices().
  void RunPlanBackup();
  // The last plan backup of this run (Ended 0: none yet).
  TJobReport LastPlanBackup;

  // Fields kept in the settings file start out empty: their defaults are the
  // settings table's (quorvin_settings.cpp), set by ReadIni during
  // construction, before anything uses them.
  std::unique_ptr<TPlanTimer> Timer;
  std::string ProgramDir;
  TFileLocations Locations;
  std::string IniName;
  std::string HistoryName;
  std::string DataBase;
  std::string RestoreSource;
  std::string RestoreTarget;
  std::string LastBack;
  std::string BackBaseName;
  std::string BackDir;
  std::string BackFile;
  std::int32_t PageSize = 0;
  TPlanRecord PlanRecord;
  std::string LogFileName;
  std::string LogDir;
  std::int32_t LastTickStamp = 0;
  TDateTime LastPlanRun = 0;
  bool FiredThisMinute = false;
  bool Running = false;
  bool Busy = false;
  std::vector<std::string> BDNames;
  std::int32_t Protocol = 0;
  bool BackShutDown = false;
  bool BackParam1 = false;
  bool BackParam2 = false;
  bool BackParam3 = false;
  bool BackParam4 = false;
  bool BackParam5 = false;
  bool BackParam6 = false;
  bool BackParam7 = false;
  bool RestParam1 = false;
  bool RestParam2 = false;
  bool RestParam3 = false;
  bool RestParam4 = false;
  bool RestParam5 = false;
  bool RestParam6 = false;
  bool RestParam7 = false;
  bool AutoBackName = false;
  bool RememberPass = false;
  // [Plan] keys that older settings files lack (off when missing).
  bool StartWithSession = false;
  bool ResumePlan = false;
  bool PlanRunning = false;
  // Check every backup by restoring it into a temporary database.
  bool VerifyBackup = false;
  // Plan retention: keep the newest N backups, remove those older than D
  // days; 0 turns a rule off.
  std::int32_t KeepLastBackups = 0;
  std::int32_t KeepBackupDays = 0;
  // A compressed copy of every backup on this computer, in this folder
  // (empty: none), and whether it replaces the backup file on the server.
  // Stored only once set: older settings files lack them and mean "off"
  // (quorvin_settings.cpp).
  std::string LocalCopyDir;
  bool LocalCopyOnly = false;
  // The last copy made on this computer in this run (quorvin_local_copy.cpp).
  std::optional<TLocalCopyInfo> LastLocalCopy;
  std::string Pass;
  std::string User;

 private:
  void SetUpLog();
  // Where a finished copy on this computer is recorded: its two files and
  // digest are known here (operation log line, LastLocalCopy).
  void LocalCopyMade(const TLocalCopyInfo& copy);
  void LocalCopyNotMade(const std::string& copyPath);
  // Records the copy a backup job made or not; with "copy only" and `jobOk`
  // it is the backup.
  void LocalCopyOutcome(const std::optional<TLocalCopyInfo>& copy, bool jobOk);
  // True once ReadIni has run to its end: settings read only in part are
  // never written back over the file.
  bool FSettingsRead = false;
  bool FJobRunning = false;
  TRunningJob FRunningJob;
  // What the plan remembers between ticks besides LastPlanRun, and the
  // verdict of the latest check (what RunPlanBackup starts).
  TPlanState FPlanState;
  TPlanVerdict FPlanVerdict;
  friend class TJobScope;
  [[noreturn]] static void AbortJobDestroyed();
  // Backup and Restore: refused while a job runs, otherwise run in a job
  // scope.
  bool RunAlone(bool (TQuorvin::*job)());
  // What both jobs set alike: kind, name, login, protocol, no job log, the
  // seven switches.
  void FillJob(TSchedule& job, std::int32_t kind, const char* name, const bool (&options)[7]) const;
  // Runs `run` (which fills in and runs a job); a job that ends badly gets a
  // beep and `failureText`, an error raised on the way is shown in the pane
  // and in a box, in `order`. True when the job succeeded.
  enum class TErrorOrder { PaneFirst, BoxFirst };
  bool RunReported(const std::function<bool()>& run, const char* failureText, TErrorOrder order);
  bool RunJobOf(TSchedule& job);
  // "plan" while the plan runs its backup, otherwise "user".
  const char* JobBy() const;
  // Follows `job` with `recorder` and tells OnJobProgress.
  void WatchJob(TJobRecorder& recorder, TSchedule& job, std::vector<std::string>* keep = nullptr);
  void NotifyProgress();
  // Appends the job's history record; a record that cannot be written gets
  // an operation log line instead.
  void FinishRecord(TJobRecorder& recorder, bool succeeded, const std::string& reason);
  // Restores the new backup `source` (the server's file or the copy on
  // this computer) into a temporary database and compares the tables' row
  // counts with `backupOutput` (null: a streamed backup has none, the
  // restore alone must succeed); false with `reason` set when the backup
  // fails the check.
  bool VerifyBackupFile(const std::string& source, const std::vector<std::string>* backupOutput,
                        const TFileFacts& facts, std::string& reason);
  // The backup job of the settings; `copy` learns the copy it makes on this
  // computer.
  void FillBackupJob(TSchedule& job, std::optional<TLocalCopyInfo>& copy) const;
  // After a backup job that ran: the new backup's facts for its record and
  // its verification when asked for; false with `failure` set when it fails
  // the verification.
  bool CheckServerBackup(TJobRecorder& recorder, const std::vector<std::string>& output, std::string& failure);
  bool CheckCopyOnlyBackup(const std::optional<TLocalCopyInfo>& copy, std::string& failure);
  // Appends a backup's record; a failure without a reason of its own gets
  // one from what is known.
  void FinishBackupRecord(TJobRecorder& recorder, bool succeeded, bool jobOk, std::string failure);
  // False (after telling the user and the operation log) when the history
  // knows RestoreSource with another size or checksum than it has now.
  bool RestoreSourceUnchanged(TJobRecorder& recorder);
  TJobRecorder* FRecorder = nullptr;
  friend class TCurrentJob;
  // A record of a job about to start, with the login and protocol of now.
  TJobRecord NewJobRecord(const char* kind, const std::string& database, const std::string& target,
                          bool shutDown) const;
  // Names the backup file; false (the user told) when no database is named
  // or the login is refused.
  bool BackupCanStart();
  // False (the user told or asked) when a restore must not start.
  bool RestoreCanStart();
  void FillRestoreJob(TSchedule& job) const;
  // The operation log's line of a job's outcome: `done` or `notDone`, then
  // the file.
  void LogJobOutcome(bool succeeded, const char* done, const char* notDone, const std::string& file);
  bool BackupJob();
  bool RestoreJob();
  void ReportPlanBackup(bool made, const TUnattendedJob& job);
};
