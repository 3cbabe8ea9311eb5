#pragma once
// A controller in a temporary folder whose jobs run through a stand-in: the
// test decides what the "job" does to the files and what it returns, and one
// list records message boxes, questions, beeps and pane lines in the order
// they happen.

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "controller/quorvin.h"
#include "controller_fixture.h"
#include "jobs/job_runner.h"

class TEventPrompts : public TPrompts, public TLogPaneView {
 public:
  void ShowMessage(const std::string& text) override { Events.push_back("box:" + text); }
  bool AskYesNo(const std::string& text) override {
    Events.push_back("ask:" + text);
    return YesAnswer;
  }
  bool ConfirmOkCancel(const std::string& text) override {
    Events.push_back("confirm:" + text);
    return OkAnswer;
  }
  void Beep() override { Events.push_back("beep"); }
  void ShowNotice(const std::string& text) override { Events.push_back("notice:" + text); }
  void Clear() override { Events.push_back("pane-clear"); }
  void AppendLine(const std::string& line) override { Events.push_back("pane:" + line); }

  std::vector<std::string> Events;
  bool YesAnswer = true;
  bool OkAnswer = true;
};

// The reports of the plan's backups, as the front end hears them.
class TReportList : public TNotices {
 public:
  void UnattendedJobEnded(const TJobReport& report) override { Reports.push_back(report); }
  std::vector<TJobReport> Reports;
};

// What the stand-in saw of the job it was given.
struct TJobSeen {
  TJobKind Kind = TJobKind::Backup;
  // File1 the file the job reads, File2 the one it writes.
  std::string JobName, UserName, Password, File1, File2;
  TProtocol Protocol = TProtocol::TCP;
  TBackupOptions BackupOptions;
  TRestoreOptions RestoreOptions;
  bool StopDatabase = false, WriteJobLog = true, VerboseJobLog = true;
};

inline const std::string AdminQuestion = "ask:Using administrator log-in requires a password.\nContinue anyway?";
inline const std::string RestoreConfirmation =
    "confirm:Make sure all users are disconnected from the database \nbefore continuing. Click OK to continue";

class JobTest : public ControllerTest {
 protected:
  // A controller whose jobs show themselves to Events.
  TQuorvin& Start() {
    Controller = std::make_unique<TQuorvin>(TFrontEnd{&Events, &Events, &Reports}, Dir.Path);
    return *Controller;
  }

  // A controller whose jobs run through Job.
  TQuorvin& StartWithStandIn() {
    TQuorvin& q = Start();
    q.Settings().Pass = "secret";
    q.Jobs().JobRunner = [this](TJobRunner& job) {
      TJobSeen seen;
      const TJob& described = job.Job();
      seen.Kind = described.Kind;
      seen.JobName = described.Name.Get();
      seen.UserName = described.UserName.Get();
      seen.Password = described.Password.Get();
      seen.File1 = SourceOf(job.Job()).Get();
      seen.File2 = TargetOf(job.Job()).Get();
      seen.Protocol = described.Protocol;
      seen.BackupOptions = described.BackupOptions;
      seen.RestoreOptions = described.RestoreOptions;
      seen.StopDatabase = described.StopDatabase;
      seen.WriteJobLog = described.WriteJobLog;
      seen.VerboseJobLog = described.VerboseJobLog;
      Jobs.push_back(seen);
      return Job ? Job(job) : true;
    };
    return q;
  }

  // Jobs started by hand while no other job runs: they run at once (and
  // those that waited for them after them).
  TBackupOutcome BackupNow() {
    const std::optional<TBackupOutcome> outcome = Controller->Backup(Controller->Settings().DataBase);
    // And those it let wait behind it.
    Controller->WaitIdle();
    EXPECT_TRUE(outcome.has_value()) << "the backup waits for another job";
    return outcome.value_or(TBackupOutcome{});
  }
  bool RestoreNow(const std::string& source, const std::string& target) {
    const std::optional<bool> restored = Controller->Restore(source, target);
    Controller->WaitIdle();
    EXPECT_TRUE(restored.has_value()) << "the restore waits for another job";
    return restored.value_or(false);
  }

  // A tick of the plan timer as the window's event loop delivers it: on the
  // front end's thread. From a job's thread the job waits for it; on the
  // front end's thread the jobs it started are waited for.
  void Tick() {
    OnFrontEnd([this] { Controller->Timer().Tick(); });
  }
  // Runs `work` on the front end's thread (from a job's thread, the job waits
  // for it), then, on that thread, waits until no job runs or waits.
  void OnFrontEnd(const std::function<void()>& work) {
    if (Controller->Queue().OnQueueThread()) return Controller->RunOnFrontEnd(work);
    work();
    Controller->WaitIdle();
  }

  // The operation log lines after this run's first one (runs started in
  // one minute share the file, the latest run's lines last).
  std::vector<std::string> LogAfterStart() const {
    std::vector<std::string> lines = Lines(ReadFileBytes(Controller->Log().LogFileName()));
    const auto start = std::find_if(lines.rbegin(), lines.rend(), [](const std::string& line) {
      const std::string first = " Начало работы";
      return line.size() >= first.size() && line.compare(line.size() - first.size(), first.size(), first) == 0;
    });
    lines.erase(lines.begin(), start.base());
    return lines;
  }

  // Files of the folder whose names contain `part`.
  std::vector<std::string> FilesWith(const std::string& part) const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(Dir.Path)) {
      const std::string name = entry.path().filename().string();
      if (name.find(part) != std::string::npos) found.push_back(name);
    }
    return found;
  }

  TEventPrompts Events;
  TReportList Reports;
  std::vector<TJobSeen> Jobs;
  // What the stand-in job does; empty: succeeds without touching a file.
  std::function<bool(TJobRunner&)> Job;
};
