#include "jobs/job_runner.h"

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "jobs/job_switches.h"
#include "platform/clock.h"
#include "platform/date_time.h"
#include "platform/exception.h"
#include "platform/file_locations.h"
#include "platform/files.h"
#include "platform/mount_table.h"
#include "platform/share_path.h"
#include "platform/standard_input.h"
#include "runner/backup_source.h"
#include "runner/database_control.h"
#include "runner/job_outcome.h"
#include "runner/job_output.h"
#include "runner/job_paths.h"
#include "runner/job_requests.h"
#include "runner/job_stop.h"
#include "runner/local_copy_job.h"
#include "runner/log_pane.h"
#include "runner/physical_backup.h"
#include "runner/ui_seams.h"
#include "service/backup_restore_services.h"
#include "service/stream_services.h"

namespace {

// Date in the system's long format, time in its short format.
std::string RunStamp() {
  const TDateTime now = Now();
  return FormatLongDate(now) + " " + FormatShortTime(now);
}

// Date and time in the system's short formats.
std::string CreationStamp() {
  const TDateTime now = Now();
  return FormatShortDate(now) + " " + FormatShortTime(now);
}

// Beside the executable when portable, else beside the operation logs.
std::string JobLogFileName() { return ProcessFileLocations().DataDir + "Schedule.log"; }

const char* KindWord(TJobKind kind) {
  switch (kind) {
    case TJobKind::Backup: return "backup";
    case TJobKind::Restore: return "restore";
    case TJobKind::PhysicalBackup: return "incremental backup";
    case TJobKind::PhysicalRestore: return "restore of the chain";
    case TJobKind::Repair: break;
  }
  return "repair";
}

struct TKindTexts {
  const char* Header;
  const char* Banner;
};

TKindTexts TextsOf(TJobKind kind) {
  switch (kind) {
    case TJobKind::Backup: return {"Backup of database: ", "**** BACKUP COMPLETE ****"};
    case TJobKind::Restore: return {"Restore of database: ", "**** RESTORE COMPLETE ****"};
    case TJobKind::PhysicalBackup: return {"Incremental backup of database: ", "**** INCREMENTAL BACKUP COMPLETE ****"};
    case TJobKind::PhysicalRestore: return {"Restore of the chain ending in: ", "**** RESTORE COMPLETE ****"};
    case TJobKind::Repair: break;
  }
  return {"Fix of database: ", "**** FIX COMPLETE ****"};
}

// After a stop the server may carry on with the request it was given: a
// restore keeps the database's name until it ends. Bringing the database
// back waits for that as the recovery after a kill does (RestartPatience).
bool StartAfterStop(const std::string& serverName, const std::string& localPath, const std::string& userName,
                    const std::string& password, TProtocol protocol, TJobOutput& output) {
  const TStepResult result = BringDatabaseOnline(serverName, localPath, userName, password, protocol, output);
  if (result.Outcome != TStepOutcome::Failed) return true;
  output.ShowJobMessage("Error starting database");
  output.AddPaneLine("Error starting database");
  return false;
}

}  // namespace

TJobRunner::TJobRunner(TJob job) : FJob(std::move(job)) {}

TJobRunner::~TJobRunner() = default;

// One run of a job: its steps, and what they share (the server paths, the
// job log gathered so far, the outcome).
class TJobRunner::TRun {
 public:
  explicit TRun(TJobRunner& runner)
      : FRunner(runner),
        FJob(runner.FJob),
        FOut(runner.Output ? *runner.Output : FSilent),
        FName(FJob.Name.Get()),
        FUser(FJob.UserName.Get()),
        FPass(FJob.Password.Get()),
        FJobLogFile(FJob.WriteJobLog ? JobLogFileName() : std::string()) {}

  bool Execute() {
    if (!FJob.KeepPane) FOut.ClearPane();
    if (RefuseOverlongNames() || RefuseStopped()) return false;
    StartJobLog();
    ResolveServerPaths();
    if (RefuseCutShortSource()) return false;
    if (!OpenFeedStep()) return false;
    if (!StopStep()) return false;
    RequestStep();
    RestartStep();
    return FSucceeded;
  }

 private:
  // A name that did not fit its field: the job is not run at all.
  bool RefuseOverlongNames() {
    std::vector<std::string> refused{SourceOf(FJob).Refused(), TargetOf(FJob).Refused()};
    for (const std::string& file : FJob.ChainFiles)
      if (Utf8Length(file) > FileNameChars) refused.push_back(file);
    for (const std::string& name : refused) {
      if (name.empty()) continue;
      FOut.AddPaneLine("ERROR: File name is longer than " + std::to_string(FileNameChars) +
                       " characters, the job is not run: " + name);
      return true;
    }
    return false;
  }

  // Asked to stop before anything happened: nothing is shut down.
  bool RefuseStopped() {
    if (!FOut.StopRequested()) return false;
    FOut.AddPaneLine(std::string("ERROR: ") + EJobStopped().what());
    return true;
  }

  void StartJobLog() {
    if (!FJob.WriteJobLog) return;
    if (!FileExists(FJobLogFile)) Log("Created - " + CreationStamp());
    Log(" ");
    Log("Started: " + FName);
  }

  void ResolveServerPaths() {
    FComputer = LocalComputerName();
    FMounts = ReadMountTable();
    FSlot[0] = ServerPathOf(SourceOf(FJob).Get(), FComputer, FMounts);
    FSlot[1] = ServerPathOf(TargetOf(FJob).Get(), FComputer, FMounts);
    for (const std::string& file : FJob.ChainFiles) FChain.push_back(ServerPathOf(file, FComputer, FMounts));
  }

  // Before the database is shut down: nothing is touched for a restore that
  // cannot work.
  bool RefuseCutShortSource() {
    if (FJob.Kind != TJobKind::Restore) return false;
    const std::string refusal = CutShortSourceRefusal(FSlot[0], FComputer, FMounts);
    if (refusal.empty()) return false;
    FOut.AddPaneLine("ERROR: " + refusal);
    return true;
  }

  // A backup file on this computer is checked before anything of the job
  // happens: a damaged copy never gets as far as the target database.
  bool OpenFeedStep() {
    const std::string source = SourceOf(FJob).Get();
    if (FJob.Kind != TJobKind::Restore || source.empty() || !RestoreFedFromThisComputer(source, FSlot[0], FSlot[1])) {
      return true;
    }
    try {
      FFeed = std::make_unique<TRestoreFeed>(source, FOut);
      return true;
    } catch (const std::exception& error) {
      PaneAndLog(std::string("ERROR: ") + error.what());
      WriteJobLogFile();
      return false;
    }
  }

  bool CopyWanted() const { return FJob.Kind == TJobKind::Backup && !FJob.Destination.LocalCopyDir.empty(); }
  bool ServerRequestWanted() const { return !(CopyWanted() && FJob.Destination.LocalCopyOnly); }

  // The file whose database the job shuts down and brings back.
  const TServerPath& Database() const { return FSlot[RestoresDatabase(FJob) ? 1 : 0]; }

  // False when the shutdown failed: the job ends there.
  bool StopStep() {
    if (!FJob.StopDatabase) return true;
    if (RestoresIntoNewDatabase()) {
      PaneAndLog("New database: " + Database().FileName + " does not exist yet, nothing to stop");
      FNewDatabase = true;
      return true;
    }
    return DatabaseStep("Stopping database: ", "Error stopping database", &StopServerDatabase);
  }

  // A restore whose database this computer sees is missing from a folder it
  // sees: there is nothing to shut down (an unreachable one is another
  // matter, and the step says so).
  bool RestoresIntoNewDatabase() const {
    if (!RestoresDatabase(FJob)) return false;
    const TServerPath& db = Database();
    if (DatabaseFileReachable(db.ServerName, db.LocalPath)) return false;
    const std::optional<std::string> local =
        ResolveSharePath(DatabaseSharePath(db.ServerName, db.LocalPath), FComputer, FMounts);
    return local && DirectoryExists(std::filesystem::path(*local).parent_path().string());
  }

  // Shuts the job's database down or brings it back; a failure is written
  // to the job log at once.
  using TDatabaseStepFunction = bool (*)(const std::string&, const std::string&, const std::string&, const std::string&,
                                         TProtocol, TJobOutput&);
  bool DatabaseStep(const char* starting, const char* failed, TDatabaseStepFunction step) {
    const TServerPath& db = Database();
    Log(starting + db.FileName);
    if (step(db.ServerName, db.LocalPath, FUser, FPass, FJob.Protocol, FOut)) return true;
    Log(failed);
    WriteJobLogFile();
    return false;
  }

  // The caller's hooks around the request, the request itself and its
  // release; an error is reported and ends the request step only.
  void RequestStep() {
    std::unique_ptr<TIBControlAndQueryService> request;
    bool beforeRequestCalled = false;
    bool prepared = false;  // BeforeRequest has done its part
    try {
      FOut.ThrowIfStopped();
      if (FRunner.BeforeRequest) {
        beforeRequestCalled = true;
        FRunner.BeforeRequest();
      }
      prepared = true;
      if (ServerRequestWanted()) {
        // Created inside the trap: a missing client library is reported on
        // the pane like any other failure of the job, and the restart still
        // runs.
        request = MakeRequest();
        RunRequest(*request);
        FSucceeded = true;
      } else {
        ShowHeader();  // the copy's section follows it
      }
    } catch (const std::exception& error) {
      if (FJob.Kind == TJobKind::Backup) FOut.ShowJobMessage(std::string("Error: ") + error.what());
      PaneAndLog(std::string("ERROR: ") + error.what());
    }
    TryReporting([&] {
      if (request) ReleaseRequest(*request);
      request.reset();
    });
    if (!FSucceeded && FJob.Kind == TJobKind::PhysicalBackup && prepared) AfterFailedPhysicalBackup();
    if (CopyWanted() && prepared) {
      const bool copied = CopyStep();
      if (!ServerRequestWanted()) FSucceeded = copied;
    }
    if (beforeRequestCalled && FRunner.AfterRequest) TryReporting([&] { FRunner.AfterRequest(FSucceeded); });
  }

  // The request of the job's kind, from its files and switches.
  std::unique_ptr<TIBControlAndQueryService> MakeRequest() const {
    const TProtocol protocol = FJob.Protocol;
    switch (FJob.Kind) {
      case TJobKind::Backup: return MakeBackupRequest(FSlot[0], FSlot[1], protocol, FUser, FPass, FJob.BackupOptions);
      case TJobKind::Restore:
        return MakeRestoreRequest(FSlot[0], FSlot[1], protocol, FUser, FPass, FJob.RestoreOptions, FFeed != nullptr);
      case TJobKind::Repair: break;
      case TJobKind::PhysicalBackup:
        return MakePhysicalBackupRequest(FSlot[0], FSlot[1], FJob.Level, protocol, FUser, FPass);
      case TJobKind::PhysicalRestore: return MakePhysicalRestoreRequest(FChain, FSlot[1], protocol, FUser, FPass);
    }
    return MakeRepairRequest(FSlot[0], protocol, FUser, FPass, FJob.RepairOptions);
  }

  // Firebird 3.0's nbackup service closes descriptor 0 of the process it
  // runs in when it fails: the embedded engine's is this program's, which
  // is opened again; a server stops accepting connections, which is said.
  void AfterFailedPhysicalBackup() {
    if (FJob.Protocol == TProtocol::Local) {
      ReopenClosedStandardInput();
      return;
    }
    if (ServerAnswers(FSlot[0].ServerName, FJob.Protocol, FUser, FPass)) return;
    PaneAndLog("ERROR: The server " + FSlot[0].ServerName +
               " no longer accepts connections after the failed incremental backup (a fault of its nbackup "
               "service); restart the Firebird server");
  }

  void ShowHeader() {
    FOut.AddPaneLine("Job: " + FName);
    PaneAndLog(TextsOf(FJob.Kind).Header + FSlot[0].FileName);
    if (FJob.Kind == TJobKind::PhysicalBackup)
      PaneAndLog("Level: " + std::to_string(FJob.Level) + ", file: " + FSlot[1].FileName);
    else if (FJob.Kind == TJobKind::PhysicalRestore)
      PaneAndLog("Files of the chain: " + std::to_string(FChain.size()));
    else
      PaneAndLog("Job options: " + SwitchesText(FJob));
    PaneAndLog("Started: " + RunStamp());
    FOut.AddPaneLine("");
    if (FFeed) FFeed->ShowSource();
  }

  void RunRequest(TIBControlAndQueryService& request) {
    const TKindTexts texts = TextsOf(FJob.Kind);
    ShowHeader();
    request.SetActive(true);
    request.ServiceStart();
    if (FFeed) FFeed->Start();
    const std::string reportedFailure = ReadOutput(request);
    if (FFeed) FFeed->ShowSent();
    if (!reportedFailure.empty()) {
      throw Exception(std::string("The ") + KindWord(FJob.Kind) +
                      " did not complete, the server reported: " + reportedFailure);
    }
    if (FJob.Kind == TJobKind::Restore) CheckRestoredDatabase();

    FOut.AddPaneLine("");
    PaneAndLog(texts.Banner);
    PaneAndLog("Stopped: " + RunStamp());
    PaneAndLog("End of job: " + FName);
    FOut.AddPaneLine("");
  }

  // Every output line to the pane (and the job log when asked); the first
  // line in which gbak says the request failed, if any.
  std::string ReadOutput(TIBControlAndQueryService& request) {
    const bool copyOutput = FJob.WriteJobLog && FJob.VerboseJobLog;
    // gbak's own word that it failed, when the server passes it on in the
    // output instead of as an error status.
    const bool gbakOutput = FJob.Kind != TJobKind::Repair;
    std::string reportedFailure;
    while (!request.OutputEnded()) {
      std::string line;
      if (!NextOutputLine(request, line)) {
        FOut.ThrowIfStopped();
        continue;
      }
      if (gbakOutput && reportedFailure.empty()) reportedFailure = FailureReportedBy(line);
      if (FRunner.OnOutputLine) FRunner.OnOutputLine(line);
      FOut.AddPaneLine(line);
      if (copyOutput) FJobLog.push_back(std::move(line));
      FOut.ThrowIfStopped();
    }
    return reportedFailure;
  }

  // The next line of the server's output; a restore fed from this computer
  // sends the input the server asked for along. False when the answer
  // carried no line. A job that can be stopped waits on the server a second
  // at most each time.
  bool NextOutputLine(TIBControlAndQueryService& request, std::string& line) {
    const std::uint16_t wait = FOut.Stoppable() ? StoppableWaitSeconds : 0;
    if (FFeed) return static_cast<TIBRestoreStreamService&>(request).FeedAndReadLine(FFeed->Source(), line, wait);
    if (wait > 0) return request.NextOutputLineWithin(wait, line);
    line = request.NextOutputLine();
    return true;
  }

  // The backup kept as a copy on this computer (made the fastest way the
  // computer allows), in a section of its own; true when the copy was made.
  // With "copy only" the job's header stands above it and its end below it.
  bool CopyStep() {
    const bool copyOnly = !ServerRequestWanted();
    const std::string copyPath = LocalCopyPathOf(FJob.Destination.LocalCopyDir, FSlot[1].FileName);
    if (FRunner.OnLocalCopyStarting) TryReporting([&] { FRunner.OnLocalCopyStarting(); });
    PaneAndLog("Copy on this computer: " + copyPath);
    if (!copyOnly) {
      FOut.AddPaneLine("Started: " + RunStamp());
      FOut.AddPaneLine("");
    }
    std::optional<TLocalCopyInfo> copy;
    try {
      const TLocalCopySource source{FSlot[0], FSlot[1], FJob.Protocol, FUser, FPass, FJob.BackupOptions};
      copy = MakeLocalCopy(source, copyPath, FOut);
      Log("**** COPY COMPLETE ****");
      FOut.AddPaneLine("Stopped: " + RunStamp());
      if (copyOnly) FOut.AddPaneLine("End of job: " + FName);
      FOut.AddPaneLine("");
    } catch (const std::exception& error) {
      FOut.ShowJobMessage(std::string("Error: ") + error.what());
      PaneAndLog(std::string("ERROR: ") + error.what());
    }
    TryReporting([&] {
      if (copy && FRunner.OnLocalCopyMade) FRunner.OnLocalCopyMade(*copy);
    });
    return copy.has_value();
  }

  // A restore that stopped early without a word (a backup file cut short)
  // leaves its database as gbak created it: shut down.
  void CheckRestoredDatabase() {
    const TServerPath& target = FSlot[1];
    const std::string state = ShutdownStateOf(target.ServerName, target.LocalPath, FJob.Protocol, FUser, FPass);
    if (state.empty()) return;
    throw Exception("The restore did not complete: the server left the new database " + target.FileName +
                    " shut down (" + state + "); the backup file may be cut short or damaged");
  }

  // A failed restart has written the job log already.
  void RestartStep() {
    TryReporting([&] {
      // A new database that a failed restore did not make: nothing to start.
      const bool nothingToStart = FNewDatabase && !DatabaseFileReachable(Database().ServerName, Database().LocalPath);
      const TDatabaseStepFunction start = FOut.StopRequested() ? &StartAfterStop : &StartServerDatabase;
      if (FJob.StopDatabase && !nothingToStart &&
          !DatabaseStep("Starting database: ", "Error starting database", start))
        return;
      Log("");
      Log("End of job: " + FName);
      WriteJobLogFile();
    });
  }

  // Runs `step`; an error it raises becomes a pane line.
  template <typename TStep>
  void TryReporting(TStep step) {
    try {
      step();
    } catch (const std::exception& error) {
      FOut.AddPaneLine(std::string("ERROR: ") + error.what());
    }
  }

  void Log(const std::string& line) {
    if (FJob.WriteJobLog) FJobLog.push_back(line);
  }

  void PaneAndLog(const std::string& line) {
    FOut.AddPaneLine(line);
    Log(line);
  }

  void WriteJobLogFile() {
    if (FJob.WriteJobLog) AppendLinesToFile(FJobLogFile, FJobLog);
  }

  TJobRunner& FRunner;
  const TJob& FJob;
  TJobOutput FSilent;
  TJobOutput& FOut;
  const std::string FName;
  const std::string FUser;
  const std::string FPass;
  const std::string FJobLogFile;
  std::string FComputer;
  std::vector<TMountEntry> FMounts;
  TServerPath FSlot[2];
  std::vector<TServerPath> FChain;      // a physical restore's files, level 0 first
  std::unique_ptr<TRestoreFeed> FFeed;  // the backup file, when it is on this computer
  std::vector<std::string> FJobLog;
  bool FSucceeded = false;
  bool FNewDatabase = false;  // a restore into a database that did not exist
};

bool TJobRunner::Run() { return TRun(*this).Execute(); }
