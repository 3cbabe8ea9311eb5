#include "runner/schedule.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

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
#include "runner/job_options.h"
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

const char* KindWord(int32_t kind) {
  switch (kind) {
    case TSchedule::KindBackup: return "backup";
    case TSchedule::KindRestore: return "restore";
    case TSchedule::KindNBackup: return "incremental backup";
    case TSchedule::KindNRestore: return "restore of the chain";
    default: return "repair";
  }
}

struct TKindTexts {
  const char* Header;
  const char* Banner;
};

TKindTexts TextsOf(int32_t kind) {
  switch (kind) {
    case TSchedule::KindBackup: return {"Backup of database: ", "**** BACKUP COMPLETE ****"};
    case TSchedule::KindRestore: return {"Restore of database: ", "**** RESTORE COMPLETE ****"};
    case TSchedule::KindNBackup: return {"Incremental backup of database: ", "**** INCREMENTAL BACKUP COMPLETE ****"};
    case TSchedule::KindNRestore: return {"Restore of the chain ending in: ", "**** RESTORE COMPLETE ****"};
    default: return {"Fix of database: ", "**** FIX COMPLETE ****"};
  }
}

// After a stop the server may carry on with the request it was given: a
// restore keeps the database's name until it ends. Bringing the database
// back waits for that as the recovery after a kill does (RestartPatience).
bool StartAfterStop(const std::string& serverName, const std::string& localPath, const std::string& userName,
                    const std::string& password, uint8_t protocol, TJobOutput& output) {
  const TStepResult result = BringDatabaseOnline(serverName, localPath, userName, password, protocol, output);
  if (result.Outcome != TStepOutcome::Failed) return true;
  output.ShowJobMessage("Error starting database");
  output.AddPaneLine("Error starting database");
  return false;
}

}  // namespace

TSchedule::TSchedule() { FJobName.Set("New job"); }

TSchedule::~TSchedule() = default;

bool TSchedule::JobOption(int index) const {
  if (index < 1 || index > 8) return false;
  return FJobOption[index - 1];
}

void TSchedule::SetJobOption(int index, bool value) {
  if (index < 1 || index > 8) return;
  FJobOption[index - 1] = value;
}

std::string TSchedule::JobFile(int index) const {
  if (index < 1 || index > 2) return {};
  return FJobFile[index - 1].Get();
}

void TSchedule::SetJobFile(int index, std::string_view value) {
  if (index < 1 || index > 2) return;
  // A shortened path could name another file (a restore with Replace would
  // overwrite it): keep the slot empty and let RunJob refuse the job.
  if (Utf8Length(value) > FileNameChars) {
    FJobFile[index - 1].Set("");
    FRefusedFile[index - 1] = std::string(value);
    return;
  }
  FJobFile[index - 1].Set(value);
  FRefusedFile[index - 1].clear();
}

// One run of a job: its steps, and what they share (the server paths, the
// job log gathered so far, the outcome).
class TSchedule::TRun {
 public:
  explicit TRun(TSchedule& job)
      : FJob(job),
        FOut(job.Output ? *job.Output : FSilent),
        FName(job.JobName()),
        FUser(job.UserName()),
        FPass(job.Password()),
        FJobLogFile(job.WriteJobLog ? JobLogFileName() : std::string()) {}

  bool Execute() {
    if (!FJob.KeepPane) FOut.ClearPane();
    if (RefuseOverlongNames() || RefuseStopped()) return false;
    StartJobLog();
    ResolveServerPaths();
    if (RefuseCutShortSource()) return false;
    if (!OpenFeedStep()) return false;
    if (!StopStep()) return false;
    if (FJob.JobKind >= KindBackup && FJob.JobKind <= KindNRestore) RequestStep();
    RestartStep();
    return FSucceeded;
  }

 private:
  // A name that did not fit its slot: the job is not run at all.
  bool RefuseOverlongNames() {
    std::vector<std::string> refused(std::begin(FJob.FRefusedFile), std::end(FJob.FRefusedFile));
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
    for (int i = 0; i < 2; ++i) FSlot[i] = ServerPathOf(FJob.FJobFile[i].Get(), FComputer, FMounts);
    for (const std::string& file : FJob.ChainFiles) FChain.push_back(ServerPathOf(file, FComputer, FMounts));
  }

  // Before the database is shut down: nothing is touched for a restore that
  // cannot work.
  bool RefuseCutShortSource() {
    if (FJob.JobKind != KindRestore) return false;
    const std::string refusal = CutShortSourceRefusal(FSlot[0], FComputer, FMounts);
    if (refusal.empty()) return false;
    FOut.AddPaneLine("ERROR: " + refusal);
    return true;
  }

  // A backup file on this computer is checked before anything of the job
  // happens: a damaged copy never gets as far as the target database.
  bool OpenFeedStep() {
    const std::string source = FJob.JobFile(1);
    if (FJob.JobKind != KindRestore || source.empty() || !RestoreFedFromThisComputer(source, FSlot[0], FSlot[1])) {
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

  bool CopyWanted() const { return FJob.JobKind == KindBackup && !FJob.LocalCopyDir.empty(); }
  bool ServerRequestWanted() const { return !(CopyWanted() && FJob.LocalCopyOnly); }

  // The file whose database the job shuts down and brings back.
  const TServerPath& Database() const {
    const int32_t kind = FJob.JobKind;
    return FSlot[kind == KindBackup || kind == KindRepair || kind == KindNBackup ? 0 : 1];
  }

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
    if (FJob.JobKind != KindRestore && FJob.JobKind != KindNRestore) return false;
    const TServerPath& db = Database();
    if (DatabaseFileReachable(db.ServerName, db.LocalPath)) return false;
    const std::optional<std::string> local =
        ResolveSharePath(DatabaseSharePath(db.ServerName, db.LocalPath), FComputer, FMounts);
    return local && DirectoryExists(std::filesystem::path(*local).parent_path().string());
  }

  // Shuts the job's database down or brings it back; a failure is written
  // to the job log at once.
  using TDatabaseStepFunction = bool (*)(const std::string&, const std::string&, const std::string&, const std::string&,
                                         uint8_t, TJobOutput&);
  bool DatabaseStep(const char* starting, const char* failed, TDatabaseStepFunction step) {
    const TServerPath& db = Database();
    Log(starting + db.FileName);
    if (step(db.ServerName, db.LocalPath, FUser, FPass, FJob.FProtocol, FOut)) return true;
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
      if (FJob.BeforeRequest) {
        beforeRequestCalled = true;
        FJob.BeforeRequest();
      }
      prepared = true;
      if (ServerRequestWanted()) {
        // Created inside the trap: a missing client library is reported on
        // the pane like any other failure of the job, and the restart still
        // runs.
        request =
            Physical()
                ? MakePhysicalJobRequest(FJob.JobKind, FSlot, FChain, FJob.NBackupLevel, FJob.FProtocol, FUser, FPass)
                : MakeJobRequest(FJob.JobKind, FSlot, FJob.FProtocol, FUser, FPass, FJob.FJobOption, FFeed != nullptr);
        RunRequest(*request);
        FSucceeded = true;
      } else {
        ShowHeader();  // the copy's section follows it
      }
    } catch (const std::exception& error) {
      if (FJob.JobKind == KindBackup) FOut.ShowJobMessage(std::string("Error: ") + error.what());
      PaneAndLog(std::string("ERROR: ") + error.what());
    }
    TryReporting([&] {
      if (request) ReleaseRequest(*request);
      request.reset();
    });
    if (!FSucceeded && FJob.JobKind == KindNBackup && prepared) AfterFailedPhysicalBackup();
    if (CopyWanted() && prepared) {
      const bool copied = CopyStep();
      if (!ServerRequestWanted()) FSucceeded = copied;
    }
    if (beforeRequestCalled && FJob.AfterRequest) TryReporting([&] { FJob.AfterRequest(FSucceeded); });
  }

  bool Physical() const { return FJob.JobKind == KindNBackup || FJob.JobKind == KindNRestore; }

  // Firebird 3.0's nbackup service closes descriptor 0 of the process it
  // runs in when it fails: the embedded engine's is this program's, which
  // is opened again; a server stops accepting connections, which is said.
  void AfterFailedPhysicalBackup() {
    if (static_cast<TProtocol>(FJob.FProtocol) == TProtocol::Local) {
      ReopenClosedStandardInput();
      return;
    }
    if (ServerAnswers(FSlot[0].ServerName, FJob.FProtocol, FUser, FPass)) return;
    PaneAndLog("ERROR: The server " + FSlot[0].ServerName +
               " no longer accepts connections after the failed incremental backup (a fault of its nbackup "
               "service); restart the Firebird server");
  }

  void ShowHeader() {
    FOut.AddPaneLine("Job: " + FName);
    PaneAndLog(TextsOf(FJob.JobKind).Header + FSlot[0].FileName);
    if (FJob.JobKind == KindNBackup)
      PaneAndLog("Level: " + std::to_string(FJob.NBackupLevel) + ", file: " + FSlot[1].FileName);
    else if (FJob.JobKind == KindNRestore)
      PaneAndLog("Files of the chain: " + std::to_string(FChain.size()));
    else
      PaneAndLog("Job options: " + JobOptionsText(FJob.JobKind, FJob.FJobOption));
    PaneAndLog("Started: " + RunStamp());
    FOut.AddPaneLine("");
    if (FFeed) FFeed->ShowSource();
  }

  void RunRequest(TIBControlAndQueryService& request) {
    const TKindTexts texts = TextsOf(FJob.JobKind);
    ShowHeader();
    request.SetActive(true);
    request.ServiceStart();
    if (FFeed) FFeed->Start();
    const std::string reportedFailure = ReadOutput(request);
    if (FFeed) FFeed->ShowSent();
    if (!reportedFailure.empty()) {
      throw Exception(std::string("The ") + KindWord(FJob.JobKind) +
                      " did not complete, the server reported: " + reportedFailure);
    }
    if (FJob.JobKind == KindRestore) CheckRestoredDatabase();

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
    const bool gbakOutput = FJob.JobKind != KindRepair;
    std::string reportedFailure;
    while (!request.OutputEnded()) {
      std::string line;
      if (!NextOutputLine(request, line)) {
        FOut.ThrowIfStopped();
        continue;
      }
      if (gbakOutput && reportedFailure.empty()) reportedFailure = FailureReportedBy(line);
      if (FJob.OnOutputLine) FJob.OnOutputLine(line);
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
    const std::string copyPath = LocalCopyPathOf(FJob.LocalCopyDir, FSlot[1].FileName);
    if (FJob.OnLocalCopyStarting) TryReporting([&] { FJob.OnLocalCopyStarting(); });
    PaneAndLog("Copy on this computer: " + copyPath);
    if (!copyOnly) {
      FOut.AddPaneLine("Started: " + RunStamp());
      FOut.AddPaneLine("");
    }
    std::optional<TLocalCopyInfo> copy;
    try {
      TLocalCopySource source{{FSlot[0], FSlot[1]}, FJob.FProtocol, FUser, FPass, {}};
      std::copy(std::begin(FJob.FJobOption), std::end(FJob.FJobOption), source.Switches);
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
      if (copy && FJob.OnLocalCopyMade) FJob.OnLocalCopyMade(*copy);
    });
    return copy.has_value();
  }

  // A restore that stopped early without a word (a backup file cut short)
  // leaves its database as gbak created it: shut down.
  void CheckRestoredDatabase() {
    const TServerPath& target = FSlot[1];
    const std::string state = ShutdownStateOf(target.ServerName, target.LocalPath, FJob.FProtocol, FUser, FPass);
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

  TSchedule& FJob;
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

bool TSchedule::RunJob() { return TRun(*this).Execute(); }
