#include "runner/schedule.h"

#include <exception>
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "platform/date_time.h"
#include "platform/exception.h"
#include "platform/file_locations.h"
#include "platform/files.h"
#include "platform/mount_table.h"
#include "runner/backup_source.h"
#include "runner/database_control.h"
#include "runner/job_options.h"
#include "runner/job_outcome.h"
#include "runner/job_paths.h"
#include "runner/log_pane.h"
#include "runner/ui_seams.h"
#include "service/backup_restore_services.h"

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

std::string MessageOf(const std::exception& error) { return error.what(); }

const char* KindWord(int32_t kind) {
  switch (kind) {
    case TSchedule::KindBackup: return "backup";
    case TSchedule::KindRestore: return "restore";
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
    default: return {"Fix of database: ", "**** FIX COMPLETE ****"};
  }
}

// The request object of a job kind, configured; the options text is built
// alongside.
std::unique_ptr<TIBControlAndQueryService> MakeRequest(int32_t kind, const TServerPath (&slot)[2],
                                                       uint8_t protocol, const std::string& userName,
                                                       const std::string& password,
                                                       const bool (&switches)[8]) {
  const TProtocol proto = static_cast<TProtocol>(protocol);
  auto addLogin = [&](TIBCustomService& service) {
    service.Params().Add("User_Name=" + userName);
    service.Params().Add("Password=" + password);
  };
  if (kind == TSchedule::KindBackup) {
    auto service = std::make_unique<TIBBackupService>();
    service->DatabaseName = slot[0].LocalPath;
    service->SetServerName(slot[0].ServerName);
    service->SetProtocol(proto);
    service->Verbose = true;
    service->BackupFile.Assign({slot[1].LocalPath});
    service->LoginPrompt = false;
    addLogin(*service);
    for (int n = 1; n <= 8; ++n)
      if (switches[n - 1])
        if (auto option = BackupOptionOfSwitch(n)) service->Options.Include(*option);
    return service;
  }
  if (kind == TSchedule::KindRestore) {
    auto service = std::make_unique<TIBRestoreService>();
    service->DatabaseName.Assign({slot[1].LocalPath});
    service->SetServerName(slot[1].ServerName);
    service->SetProtocol(proto);
    service->Verbose = true;
    service->BackupFile.Assign({slot[0].LocalPath});
    service->LoginPrompt = false;
    addLogin(*service);
    for (int n = 1; n <= 8; ++n)
      if (switches[n - 1])
        if (auto option = RestoreOptionOfSwitch(n)) service->Options.Include(*option);
    return service;
  }
  auto service = std::make_unique<TIBValidationService>();
  service->DatabaseName = slot[0].LocalPath;
  service->SetServerName(slot[0].ServerName);
  service->SetProtocol(proto);
  service->LoginPrompt = false;
  addLogin(*service);
  for (int n = 1; n <= 8; ++n)
    if (switches[n - 1])
      if (auto option = ValidateOptionOfSwitch(n)) service->Options.Include(*option);
  return service;
}

}  // namespace

TSchedule::TSchedule() { jobName.Set("New job"); }

TSchedule::~TSchedule() = default;

bool TSchedule::JobOption(int index) const {
  if (index < 1 || index > 8) return false;
  return jobOption[index - 1];
}

void TSchedule::SetJobOption(int index, bool value) {
  if (index < 1 || index > 8) return;
  jobOption[index - 1] = value;
}

std::string TSchedule::JobFile(int index) const {
  if (index < 1 || index > 2) return {};
  return jobFile[index - 1].Get();
}

void TSchedule::SetJobFile(int index, std::string_view value) {
  if (index < 1 || index > 2) return;
  // A shortened path could name another file (a restore with Replace would
  // overwrite it): keep the slot empty and let RunJob refuse the job.
  if (Utf8Length(value) > FileNameChars) {
    jobFile[index - 1].Set("");
    refusedFile[index - 1] = std::string(value);
    return;
  }
  jobFile[index - 1].Set(value);
  refusedFile[index - 1].clear();
}

bool TSchedule::RunJob() {
  ClearPane();

  for (const std::string& refused : refusedFile) {
    if (refused.empty()) continue;
    AddPaneLine("ERROR: File name is longer than " + std::to_string(FileNameChars) +
                " characters, the job is not run: " + refused);
    return false;
  }

  bool result = false;
  const int dbSlot = (JobKind == KindBackup || JobKind == KindRepair) ? 0 : 1;
  std::vector<std::string> jobLog;
  const std::string jobLogFile = WriteJobLog ? JobLogFileName() : std::string();
  const std::string name = JobName();
  const std::string user = UserName();
  const std::string pass = Password();

  if (WriteJobLog) {
    if (!FileExists(jobLogFile)) jobLog.push_back("Created - " + CreationStamp());
    jobLog.push_back(" ");
    jobLog.push_back("Started: " + name);
  }

  TServerPath slot[2];
  const std::string computer = LocalComputerName();
  const std::vector<TMountEntry> mounts = ReadMountTable();
  for (int i = 0; i < 2; ++i) slot[i] = ServerPathOf(jobFile[i].Get(), computer, mounts);
  const TServerPath& db = slot[dbSlot];

  // Before the database is shut down: nothing is touched for a restore that
  // cannot work.
  if (JobKind == KindRestore) {
    const std::string refusal = CutShortSourceRefusal(slot[0], computer, mounts);
    if (!refusal.empty()) {
      AddPaneLine("ERROR: " + refusal);
      return false;
    }
  }

  if (StopDatabase) {
    if (WriteJobLog) jobLog.push_back("Stopping database: " + db.FileName);
    if (!StopServerDatabase(db.ServerName, db.LocalPath, user, pass, protocol)) {
      if (WriteJobLog) {
        jobLog.push_back("Error stopping database");
        AppendLinesToFile(jobLogFile, jobLog);
      }
      return false;
    }
  }

  if (JobKind >= KindBackup && JobKind <= KindRepair) {
    const TKindTexts texts = TextsOf(JobKind);
    const std::string optionsText = JobOptionsText(JobKind, jobOption);
    std::unique_ptr<TIBControlAndQueryService> request;
    bool beforeRequestCalled = false;
    try {
      if (BeforeRequest) {
        beforeRequestCalled = true;
        BeforeRequest();
      }
      // Created inside the trap: a missing client library is reported on
      // the pane like any other failure of the job, and the restart below
      // still runs.
      request = MakeRequest(JobKind, slot, protocol, user, pass, jobOption);

      AddPaneLine("Job: " + name);
      AddPaneLine(texts.Header + slot[0].FileName);
      AddPaneLine("Job options: " + optionsText);
      AddPaneLine("Started: " + RunStamp());
      AddPaneLine("");
      if (WriteJobLog) {
        jobLog.push_back(texts.Header + slot[0].FileName);
        jobLog.push_back("Job options: " + optionsText);
        jobLog.push_back("Started: " + RunStamp());
      }
      ProcessMessages();

      request->SetActive(true);
      request->ServiceStart();
      const bool copyOutput = WriteJobLog && VerboseJobLog;
      // gbak's own word that it failed, when the server passes it on in the
      // output instead of as an error status.
      const bool gbakOutput = JobKind != KindRepair;
      std::string reportedFailure;
      while (!request->OutputEnded()) {
        std::string line = request->NextOutputLine();
        if (gbakOutput && reportedFailure.empty()) reportedFailure = FailureReportedBy(line);
        AddPaneLine(line);
        if (copyOutput) jobLog.push_back(std::move(line));
        ProcessMessages();
      }
      if (!reportedFailure.empty()) {
        throw Exception(std::string("The ") + KindWord(JobKind) +
                        " did not complete, the server reported: " + reportedFailure);
      }
      if (JobKind == KindRestore) {
        // A restore that stopped early without a word (a backup file cut
        // short) leaves its database as gbak created it: shut down.
        const std::string state = ShutdownStateOf(slot[1].ServerName, slot[1].LocalPath, protocol, user, pass);
        if (!state.empty()) {
          throw Exception("The restore did not complete: the server left the new database " + slot[1].FileName +
                          " shut down (" + state + "); the backup file may be cut short or damaged");
        }
      }

      AddPaneLine("");
      AddPaneLine(texts.Banner);
      AddPaneLine("Stopped: " + RunStamp());
      AddPaneLine("End of job: " + name);
      AddPaneLine("");
      if (WriteJobLog) {
        jobLog.push_back(texts.Banner);
        jobLog.push_back("Stopped: " + RunStamp());
        jobLog.push_back("End of job: " + name);
      }
      result = true;
    } catch (const std::exception& error) {
      if (JobKind == KindBackup) Prompts().ShowMessage("Error: " + MessageOf(error));
      AddPaneLine("ERROR: " + MessageOf(error));
      if (WriteJobLog) jobLog.push_back("ERROR: " + MessageOf(error));
    }

    try {
      // A request whose attach, start or read failed has already forgotten
      // its handle; detaching it again would only add a misleading
      // "service is not attached" line.
      if (request && request->Active()) request->SetActive(false);
      request.reset();
    } catch (const std::exception& error) {
      AddPaneLine("ERROR: " + MessageOf(error));
    }

    if (beforeRequestCalled && AfterRequest) {
      try {
        AfterRequest(result);
      } catch (const std::exception& error) {
        AddPaneLine("ERROR: " + MessageOf(error));
      }
    }
  }

  try {
    bool restartFailed = false;
    if (StopDatabase) {
      if (WriteJobLog) jobLog.push_back("Starting database: " + db.FileName);
      if (!StartServerDatabase(db.ServerName, db.LocalPath, user, pass, protocol)) {
        restartFailed = true;
        if (WriteJobLog) {
          jobLog.push_back("Error starting database");
          AppendLinesToFile(jobLogFile, jobLog);
        }
      }
    }
    if (!restartFailed && WriteJobLog) {
      jobLog.push_back("");
      jobLog.push_back("End of job: " + name);
      AppendLinesToFile(jobLogFile, jobLog);
    }
  } catch (const std::exception& error) {
    AddPaneLine("ERROR: " + MessageOf(error));
  }
  return result;
}
