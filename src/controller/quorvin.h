#pragma once
// TQuorvin: the program's core for one settings file, as any front end (the
// window, the command line) uses it. It ties the parts together and holds
// none of their state: the settings (settings/), the operation log (log/),
// the plan and its entries (plan/), the jobs and their queue (jobs/),
// recovery after a crash (recovery/) and the history (history/).
//
// Jobs run one at a time, on a thread of the core's own: a backup or restore
// asked for while another job runs, and plan backups that fall due together
// or meanwhile, wait their turn and run in the order they were asked for.
// The front end's thread (the one that makes the core and calls it) never
// runs a job: what a job shows (its pane lines, boxes, questions, reports)
// and what it comes to reach the front end on that thread, posted there in
// order (jobs/worker/front_end_channel.h).

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "controller/jobs/database_jobs.h"
#include "controller/jobs/job_queue.h"
#include "controller/log/operation_log.h"
#include "controller/messages/messages.h"
#include "controller/plan/plan.h"
#include "controller/plan/plan_timer.h"
#include "controller/recovery/recovery.h"
#include "controller/settings/settings_file.h"
#include "jobs/worker/dispatch_queue.h"
#include "jobs/worker/front_end_channel.h"
#include "platform/file_locations.h"
#include "platform/file_lock.h"
#include "runner/job_notices.h"
#include "runner/job_output.h"
#include "runner/ui_seams.h"

inline constexpr const char* ApplicationTitle = "Quorvin";
inline constexpr int PlanTimerInterval = 5000;

class TJobOutput;
class TJobStop;

// What a front end gives the core: where its jobs show themselves. Nothing
// here is owned; a part left out shows nothing (or, for prompts, answers as
// a user who clicks the first button would).
struct TFrontEnd {
  // The log pane of the job under way.
  TLogPaneView* Pane = nullptr;
  // Boxes and questions of the jobs someone attends.
  TPrompts* Prompts = nullptr;
  // Reports of the plan's backups, which nobody attends.
  TNotices* Notices = nullptr;
  // How the front end names itself to another program on the same settings
  // file ("окно Quorvin", the service), in what its locks say.
  std::string Name = "Quorvin";
  // Its request to stop the job under way (not owned; null: jobs are not
  // stopped). Once requested, no job of the queue starts any more.
  const TJobStop* Stop = nullptr;
  // The command line leaves the settings file as it is (its overrides hold
  // for one job), and its status and history start no operation log.
  bool WritesSettings = true;
  bool StartsLog = true;
  // Runs work on the front end's thread later, in order (the window: its
  // event loop). Empty: the core keeps the work in a queue of its own and
  // runs it while the front end waits for a job (RunPosted, WaitIdle, and
  // the jobs that return their outcome), as the command line and tests do.
  TPost Post{};
  // Called on the front end's thread about every 50 ms while it waits for a
  // job (a program without an event loop reads its signals there).
  std::function<void()> WhileWaiting{};
  // The language of what the core says to the user through this front end
  // (the window Russian, the command line English); what it stores for
  // other programs (the operation log, the history) is the same in both.
  TLanguage Language = TLanguage::Russian;
};

class TQuorvin {
 public:
  // `programDir` empty: the folder of the running executable. `title` names
  // the settings file (title + ".INI"). Where the files go follows from the
  // folder (Locations): beside it while it takes files, else the XDG
  // folders. Reads the settings and starts the run's operation log.
  explicit TQuorvin(TFrontEnd frontEnd = {}, const std::string& programDir = {},
                    const std::string& title = ApplicationTitle);
  // Files a front end names itself (the command line's --config, a system
  // service's folders): the settings file `settingsFile`, whose name without
  // its extension names the history and the job record; `locations` for the
  // rest (DataDir: the operation logs, StateDir: history, job record, locks).
  TQuorvin(TFrontEnd frontEnd, const std::string& settingsFile, const TFileLocations& locations);
  // Frees the timer, then writes the settings back (WriteIni), unless they
  // were never read completely. Never while a job runs (the front end
  // closes only when JobRunning() is false).
  ~TQuorvin();
  TQuorvin(const TQuorvin&) = delete;
  TQuorvin& operator=(const TQuorvin&) = delete;

  // The parts.
  TSettings& Settings() { return FSettings; }
  const TSettings& Settings() const { return FSettings; }
  TOperationLog& Log() { return FLog; }
  TPlan& Plan() { return FPlan; }
  const TPlan& Plan() const { return FPlan; }
  TDatabaseJobs& Jobs() { return FJobs; }
  const TDatabaseJobs& Jobs() const { return FJobs; }
  const TJobQueue& Queue() const { return FQueue; }
  TPlanTimer& Timer() { return *FTimer; }
  const TFileLocations& Locations() const { return FLocations; }
  const std::string& ProgramDir() const { return FProgramDir; }
  TLanguage Language() const { return FFrontEnd.Language; }

  // The settings file beside the program (or in the XDG folders).
  std::string IniPath() const { return FSettingsFile.Path(); }
  void LoadSettings() { FSettingsFile.ReadIni(FSettings); }
  // What is wrong with the settings file (it cannot be read, or it is no
  // settings file), naming it; empty when it was read or is missing. A front
  // end that must not run on defaults or on a stray file refuses to start.
  const std::string& SettingsFault() const { return FSettingsFile.Fault(); }
  void WriteIni() { FSettingsFile.WriteIni(FSettings); }
  void SavePlan() { FSettingsFile.SavePlan(FSettings); }
  // Writes only the keys whose values differ from `before`'s: every other
  // key keeps its bytes.
  void SaveChanges(const TSettings& before) { FSettingsFile.SaveChanges(before, FSettings); }
  // Remembers at once whether the plan runs, and DataBase: a plan still
  // running when the program ends (with the session, from the tray, or by a
  // crash) starts again at the next start when ResumePlan is on.
  void SavePlanRunning(bool running);
  // Puts the autostart entry of the desktop session in place when
  // StartWithSession is on, takes it away when off; raises EOSError when the
  // entry cannot be written or removed.
  void ApplyStartWithSession();
  bool PlanResumesAtStart() const { return FSettings.ResumePlan && FSettings.PlanRunning; }
  // The job history and the record of a job in progress, beside the
  // settings file ("Quorvin.history.jsonl", "Quorvin.job").
  std::string HistoryPath() const { return FJobs.Places().HistoryPath; }
  std::string JobRecordPath() const { return FJobs.Places().JobRecordPath; }

  // Jobs started by hand, with the program's parameters and login. The
  // backup of `database` (which becomes DataBase) runs at once when no job
  // runs, and its outcome is returned; otherwise it waits for the running
  // job and nullopt is returned. `done` hears the outcome either way.
  using TBackupDone = std::function<void(const TBackupOutcome& outcome)>;
  std::optional<TBackupOutcome> Backup(const std::string& database, TBackupDone done = {});
  // The physical (nbackup) backup of `level` of `database` (which becomes
  // DataBase), likewise.
  std::optional<TBackupOutcome> IncrementalBackup(const std::string& database, int level, TBackupDone done = {});
  // The restore of `source` into `target`, likewise: true or false when it
  // ran at once (the restored database exists or not), nullopt when it
  // waits.
  using TRestoreDone = std::function<void(bool restored)>;
  std::optional<bool> Restore(const std::string& source, const std::string& target, TRestoreDone done = {});
  // The restore of the off-site copy `objectUrl` ("s3://bucket/key", in the
  // store of entry 1's off-site place) into the new database `target`,
  // likewise; a database that exists is refused.
  std::optional<bool> RestoreOffsite(const std::string& objectUrl, const std::string& target, TRestoreDone done = {});
  // A job runs or waits: the front end starts no other job by itself and
  // does not close meanwhile.
  bool JobRunning() const { return FQueue.Active(); }
  // Another program on the same settings file (the service, a window on
  // another computer sharing the folder) runs a job: ours waits for it, and
  // this names that program; empty otherwise.
  std::string WaitingFor() const;
  // Called on the front end's thread after each job, once everything the job
  // showed has been handed over.
  std::function<void()> OnJobEnded;
  // Called on the front end's thread when the progress of the job under way
  // (Jobs().JobProgress()) moves on.
  std::function<void()> OnJobProgress;

  // Without TFrontEnd::Post: runs what the jobs posted for the front end so
  // far; PostedFd() is readable while something waits (a loop polls it).
  void RunPosted() { FDispatch.RunPending(); }
  int PostedFd() const { return FDispatch.WakeFd(); }
  // Without TFrontEnd::Post: waits until no job runs or waits, running what
  // the jobs post meanwhile.
  void WaitIdle();
  // Runs `work` on the front end's thread after everything a job showed
  // before, and returns once it has run: how a job hands the front end what
  // only its thread may do. On the front end's thread it runs at once.
  void RunOnFrontEnd(const std::function<void()>& work) {
    FChannel.Ask<bool>([&work] {
      work();
      return true;
    });
  }

  // Finishes what a job cut short by a crash or a kill left, when its record
  // is there (recovery/recovery.h), as a job of its own. False when there
  // was nothing to finish. Every job does the same before it starts, so a
  // job never meets (or writes over) what an earlier one left.
  bool FinishInterruptedJob();

  // The plan. Execute and Stop start and stop the plan and its timer; the
  // timer's tick is OnPlanTimer, which queues the backups of the entries
  // that are due and runs the queue when no job runs. Stopping the plan
  // takes its waiting backups out of the queue, each with a line in the
  // operation log. For one settings file one program runs the plan: Execute
  // refuses (false) while another holds it, and PlanRunElsewhere says who.
  bool Execute();
  void Stop();
  std::string PlanRunElsewhere() const;
  // The lock of the settings file's plan, whose file says who holds it.
  const std::string& PlanLockPath() const { return FPlanLock.Path(); }
  // The lock held while a job of this settings file runs.
  const std::string& JobsLockPath() const { return FJobsLock.Path(); }
  void OnPlanTimer();
  // The plan's entries as the settings have them now.
  std::vector<TPlanEntry> PlanEntries() const { return PlanEntriesOf(FSettings); }
  // The next backup of each entry, the earliest first; the rules alone, as
  // if the plan ran (the caller shows them only while it does).
  std::vector<TNextBackup> NextPlanBackups() const { return FPlan.NextBackups(PlanEntries()); }
  // A plan backup is running.
  bool PlanBackupRunning() const;
  // Queues a plan backup of `entry` and runs the queue when no job runs.
  // Unattended, it never waits on a box; its outcome goes to the plan, the
  // operation log (a failure with a line " Причина: " + the reason after the
  // outcome line) and the front end's notices.
  void RunPlanBackup(const TPlanEntry& entry);

 private:
  TQuorvin(TFrontEnd frontEnd, const std::string& programDir, const TFileLocations& locations,
           const std::string& settingsFile, const std::string& title);
  bool Stopping() const;
  // The output of a job of this front end.
  void Prepare(TJobOutput& output) const;
  // `level`: of an incremental entry, the level that fell due.
  TQueuedJob PlanBackupJob(const TPlanEntry& entry, int level = 0);
  // On the jobs' thread, with the settings as they were when it was queued.
  void MakePlanBackup(const TSettings& settings, const TPlanEntry& entry, int level);
  // `job` run while this program holds the lock of the settings file's jobs,
  // waited for while another program holds it; with `finishLeftJob`, what a
  // job cut short left is finished first.
  TQueuedJob Locked(TQueuedJob job, bool finishLeftJob = true);
  // A hand job: `run` on the jobs' thread, `done` with its outcome on the
  // front end's. Without TFrontEnd::Post and outside a job, waits for it
  // when it starts at once and returns its outcome; nullopt otherwise.
  template <typename TOutcome>
  std::optional<TOutcome> HandJob(std::optional<TJobKind> kind, const std::string& database,
                                  std::function<TOutcome(TJobOutput& output)> run,
                                  std::function<void(const TOutcome& outcome)> done, bool finishLeftJob = true);
  // Waits, running what the jobs post, until `ready`.
  void WaitUntil(const std::function<bool()>& ready);
  // Recovery (recovery/recovery.h) of the record of a job in progress, when
  // it is there, for a job started `by` with `logins` (user, password) that
  // the program remembers; false when there was none.
  using TLogins = std::vector<std::pair<std::string, std::string>>;
  bool FinishLeftJob(TJobBy by, const TLogins& logins);
  TLogins RememberedLogins() const;
  void AcquireJobsLock();
  void SetWaitingFor(std::string holder);
  // What this program's locks say of it.
  std::string HolderText() const;
  // The password recovery needs: a remembered one of the record's user, or
  // the front end asks (while attended).
  TRecoveryPassword RecoveryPassword(TAttendance attendance, TLogins logins);
  void ReportPlanBackup(const TSettings& settings, const TPlanEntry& entry, const TBackupOutcome& outcome,
                        const TJobOutput& output);
  // After a plan backup that succeeded: its off-site copy and the bucket's
  // retention (jobs/offsite/plan_offsite.h); a failed copy is told like a
  // failed plan backup.
  void SendPlanOffsiteCopy(const TSettings& settings, const TDatabaseOptions& options, const TBackupOutcome& outcome,
                           TJobOutput& output);

  TFrontEnd FFrontEnd;
  // The front end's thread's work, when the front end has no loop of its own.
  TDispatchQueue FDispatch;
  TFrontEndChannel FChannel;
  std::string FProgramDir;
  TFileLocations FLocations;
  TSettingsFile FSettingsFile;
  TSettings FSettings;
  TOperationLog FLog;
  TDatabaseJobs FJobs;
  TPlan FPlan;
  std::unique_ptr<TPlanTimer> FTimer;
  // Beside the record of the job in progress: one program runs the plan of
  // the settings file, one program's job runs at a time.
  TFileLock FPlanLock;
  TFileLock FJobsLock;
  mutable std::mutex FWaitingMutex;
  std::string FWaitingFor;
  // Last: its thread ends before anything a job uses is gone.
  TJobQueue FQueue;
};
