// backup and restore: one job each, with the settings' options (those of
// the plan entry of its database, when it has one) and the command line's
// overrides, stopped as a failed job on SIGTERM or SIGINT.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/cli_core.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/offsite_job.h"
#include "cli/progress_line.h"
#include "cli/signal_pump.h"
#include "controller/history/job_history.h"
#include "controller/messages/messages.h"
#include "controller/plan_editor/plan_editor.h"
#include "platform/computer_name.h"
#include "platform/files.h"

namespace {

using TJson = nlohmann::ordered_json;

void CheckJobSettings(const TSettings& settings) {
  if (settings.Protocol != 0 && settings.Protocol != 3)
    throw EUsage("no protocol chosen in the settings: give --protocol TCP or --protocol Local");
  if (settings.LocalCopyOnly && settings.LocalCopyDir.empty())
    throw EUsage("--copy-only needs a folder for the copy: give --copy-dir");
}

// A database of the plan is backed up and restored with its entry's options
// and login (entry 1's are the program's already).
void UseEntryOptions(TQuorvin& q, const std::string& database) {
  const std::vector<TPlanEntry> entries = q.PlanEntries();
  for (std::size_t i = 1; i < entries.size(); ++i) {
    if (!SameDatabase(entries[i].DataBase, database)) continue;
    const TDatabaseOptions options = JobOptionsOf(entries[i], q.Settings());
    CopyJobOptions(q.Settings(), options);
    q.Settings().User = options.User;
    q.Settings().Pass = options.Pass;
    return;
  }
}

// What every job command sets up around its one job: the login and options,
// the pump that turns a signal into a stop, the progress line, and the
// outcome as a message or as JSON.
class TJobCommand {
 public:
  TJobCommand(const TCliOptions& options, const TConsole& console, const std::string& database, const char* what)
      : FOptions(options),
        FCli(options, console, true),
        FProgress(console, !options.Quiet && !options.Verbose && !options.Json),
        FWhat(what) {
    FCli.RequireReadSettings();
    UseEntryOptions(FCli.Core(), database);
    FCli.ApplyLogin(options);
    ApplyJobOptions(options, FCli.Core().Settings());
    CheckJobSettings(FCli.Core().Settings());
    FPump.OnSignals = [this](int) {
      if (!FCli.Stop().Requested())
        FCli.Console().Warning("stopping: the job ends as a failed one, its database and files put back");
      FCli.Stop().Request();
    };
    FCli.SetWhileWaiting([this] { FPump.Turn(); });
    FPump.OnTurn = [this] { OnTurn(); };
    FCli.Prompts().Hold(true);
    FRecordsBefore = ReadHistory(FCli.Core().HistoryPath()).size();
  }
  TCliCore& Cli() { return FCli; }
  bool Stopped() { return FCli.Stop().Requested(); }

  // Runs a part of the command that is no job of the core's queue (an
  // off-site copy) on a thread of its own, the signals read meanwhile.
  template <typename TWork>
  auto WhilePumping(TWork work) {
    auto done = std::async(std::launch::async, std::move(work));
    while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) FPump.Turn();
    return done.get();
  }

  // The outcome's line or JSON; the exit status. A failure says its reason
  // once, the one its history record keeps (else the first error line, else
  // its first box); its boxes say it again in other words.
  int Outcome(bool succeeded, const std::string& made, const std::string& failed, TJson facts) {
    FProgress.Clear();
    const std::vector<std::string> boxes = FCli.Prompts().TakeHeld();
    std::vector<THistoryRecord> records = ReadHistory(FCli.Core().HistoryPath());
    records.erase(records.begin(),
                  records.begin() + static_cast<std::ptrdiff_t>(std::min(FRecordsBefore, records.size())));
    std::string reason;
    for (const THistoryRecord& record : records)
      if (reason.empty() && !record.Succeeded()) reason = ShownReason(record.Reason, TLanguage::English);
    if (reason.empty()) reason = FCli.Pane().FirstError();
    if (reason.empty() && !boxes.empty()) reason = boxes.front();
    if (FOptions.Json) PrintJson(succeeded, reason, records, std::move(facts));
    if (!succeeded) {
      FCli.Console().Error(failed + (reason.empty() ? std::string() : ": " + reason));
      return ExitFailure;
    }
    for (const std::string& box : boxes) FCli.Console().Warning(box);
    FCli.Console().Info(made);
    return ExitSuccess;
  }

 private:
  void OnTurn() {
    TQuorvin& q = FCli.Core();
    if (q.Queue().Busy()) FProgress.Show(FWhat, q.Jobs().JobProgress());
    const std::string waitingFor = q.WaitingFor();
    if (waitingFor.empty() || FToldWaiting) return;
    FCli.Console().Info("waiting for the job of " + waitingFor);
    FToldWaiting = true;
  }

  // One JSON object on standard output: the outcome, and the records the job
  // added to the history (the backup, its verification).
  void PrintJson(bool succeeded, const std::string& reason, const std::vector<THistoryRecord>& added, TJson facts) {
    TJson records = TJson::array();
    for (const THistoryRecord& record : added) records.push_back(TJson::parse(HistoryLine(record), nullptr, false));
    TJson json = {{"command", FWhat}};
    json.update(facts);
    json.update(TJson{{"outcome", succeeded ? HistorySuccess : HistoryFailure},
                      {"exit_code", succeeded ? ExitSuccess : ExitFailure},
                      {"reason", succeeded ? std::string() : reason},
                      {"pid", ProcessId()},
                      {"records", records}});
    const std::string text = json.dump(-1, ' ', false, TJson::error_handler_t::replace) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }

  const TCliOptions& FOptions;
  TCliCore FCli;
  TSignalPump FPump;
  TProgressLine FProgress;
  std::string FWhat;
  std::size_t FRecordsBefore = 0;
  bool FToldWaiting = false;
};

// A restore from an off-site copy goes only into a new database: a failed
// one removes what it created, which must never be a database that was.
int RestoreObjectCommand(const TCliOptions& options, const TConsole& console, const std::string& target,
                         bool& jobStopped) {
  const std::string& source = options.Arguments[0];
  if (FileExists(target))
    throw EWouldReplace("the database " + target + " exists: a restore from object storage makes a new one");
  TJobCommand command(options, console, target, "restore");
  std::string reason;
  const bool restored =
      command.WhilePumping([&] { return RestoreFromObject(command.Cli(), options, source, target, reason); });
  jobStopped = command.Stopped();
  return command.Outcome(restored, "restored: " + target, "restore of " + source + " into " + target + " failed",
                         {{"backup", source}, {"database", target}});
}

}  // namespace

int BackupCommand(const TCliOptions& options, const TConsole& console, bool& jobStopped) {
  const std::string database = PathArgument(options.Arguments[0]);
  // The store's place, its keys and the encryption key are checked before
  // the server does any work.
  if (options.Offsite.empty() && !options.EncryptKeyFile.empty())
    throw EUsage("--encrypt-key encrypts an off-site copy: give --offsite");
  std::unique_ptr<TS3Target> offsite;
  if (!options.Offsite.empty()) offsite = OffsiteTargetOf(options, options.Offsite, console);
  const std::optional<TCryptKey> key = EncryptionKeyOf(options);
  TJobCommand command(options, console, database, "backup");
  const std::optional<TBackupOutcome> outcome = command.Cli().Core().Backup(database);
  jobStopped = command.Stopped();
  TJson facts = {{"database", database}, {"file", nullptr}, {"copy", nullptr}};
  if (!outcome || !outcome->Succeeded) return command.Outcome(false, {}, "backup of " + database + " failed", facts);
  facts["file"] = outcome->BackFile;
  std::string made = "backup made: " + outcome->BackFile;
  if (outcome->Copy) facts["copy"] = outcome->Copy->File;
  if (outcome->Copy && outcome->Copy->File != outcome->BackFile)
    made += "\ncopy on this computer: " + outcome->Copy->File;
  if (!offsite) return command.Outcome(true, made, {}, facts);
  std::string reason;
  const std::optional<std::string> sent = command.WhilePumping(
      [&] { return SendOffsiteCopy(command.Cli(), *offsite, key ? &*key : nullptr, database, *outcome, reason); });
  jobStopped = command.Stopped();
  facts["offsite"] = sent ? TJson(*sent) : TJson(nullptr);
  // The backup stands; the copy that was asked for does not: the command failed.
  if (!sent) return command.Outcome(false, {}, made + "\noff-site copy failed", facts);
  return command.Outcome(true, made + "\noff-site copy: " + *sent, {}, facts);
}

int RestoreCommand(const TCliOptions& options, const TConsole& console, bool& jobStopped) {
  const std::string target = PathArgument(options.Arguments[1]);
  if (IsObjectUrl(options.Arguments[0])) return RestoreObjectCommand(options, console, target, jobStopped);
  const std::string source = PathArgument(options.Arguments[0]);
  if (!FileExists(source) && source.rfind("\\\\", 0) != 0) {
    console.Error("no backup file " + source);
    return ExitFailure;
  }
  if (FileExists(target) && !options.Replace)
    throw EWouldReplace("the database " + target + " exists: add --replace to replace it");
  TJobCommand command(options, console, target, "restore");
  const std::optional<bool> restored = command.Cli().Core().Restore(source, target);
  jobStopped = command.Stopped();
  return command.Outcome(restored.value_or(false), "restored: " + target,
                         "restore of " + source + " into " + target + " failed",
                         {{"backup", source}, {"database", target}});
}
