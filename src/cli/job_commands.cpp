// backup and restore: one job each, with the settings' options and the
// command line's overrides, stopped as a failed job on SIGTERM or SIGINT.

#include <filesystem>
#include <optional>

#include "cli/cli_core.h"
#include "cli/commands.h"
#include "cli/signal_pump.h"
#include "platform/files.h"
#include "runner/schedule.h"

namespace {

// A local path as the job's name for it; a network name (\\server\…) as it is.
std::string PathArgument(const std::string& path) {
  if (path.empty() || path[0] == '/' || path.rfind("\\\\", 0) == 0) return path;
  return std::filesystem::absolute(path).lexically_normal().string();
}

void CheckJobSettings(const TSettings& settings) {
  if (settings.Protocol != 0 && settings.Protocol != 3)
    throw EUsage("no protocol chosen in the settings: give --protocol TCP or --protocol Local");
  if (settings.LocalCopyOnly && settings.LocalCopyDir.empty())
    throw EUsage("--copy-only needs a folder for the copy: give --copy-dir");
}

// What every job command sets up around its one job: the login and options,
// and the pump that turns a signal into a stop.
class TJobCommand {
 public:
  TJobCommand(const TCliOptions& options, const TConsole& console) : FCli(options, console, true) {
    FCli.RequireReadSettings();
    FCli.ApplyLogin(options);
    ApplyJobOptions(options, FCli.Core().Settings());
    CheckJobSettings(FCli.Core().Settings());
    FPump.OnSignals = [this](int) {
      if (!FCli.Stop().Requested())
        FCli.Console().Warning("stopping: the job ends as a failed one, its database and files put back");
      FCli.Stop().Request();
    };
    FCli.SetWhileWaiting([this] { FPump.Turn(); });
    FPump.OnTurn = [this] {
      const std::string waitingFor = FCli.Core().WaitingFor();
      if (waitingFor.empty() || FToldWaiting) return;
      FCli.Console().Info("waiting for the job of " + waitingFor);
      FToldWaiting = true;
    };
  }
  TCliCore& Cli() { return FCli; }
  bool Stopped() { return FCli.Stop().Requested(); }

  // The outcome's line; the exit status.
  int Outcome(bool succeeded, const std::string& made, const std::string& failed) {
    if (succeeded) {
      FCli.Console().Info(made);
      return 0;
    }
    const std::string& reason = FCli.Pane().FirstError();
    FCli.Console().Error(failed + (reason.empty() ? std::string() : ": " + reason));
    return 1;
  }

 private:
  TCliCore FCli;
  TSignalPump FPump;
  bool FToldWaiting = false;
};

}  // namespace

int BackupCommand(const TCliOptions& options, const TConsole& console, bool& jobStopped) {
  TJobCommand command(options, console);
  const std::string database = PathArgument(options.Arguments[0]);
  const std::optional<TBackupOutcome> outcome = command.Cli().Core().Backup(database);
  jobStopped = command.Stopped();
  if (!outcome || !outcome->Succeeded) return command.Outcome(false, {}, "backup of " + database + " failed");
  std::string made = "backup made: " + outcome->BackFile;
  if (outcome->Copy && outcome->Copy->File != outcome->BackFile)
    made += "\ncopy on this computer: " + outcome->Copy->File;
  return command.Outcome(true, made, {});
}

int RestoreCommand(const TCliOptions& options, const TConsole& console, bool& jobStopped) {
  const std::string source = PathArgument(options.Arguments[0]);
  const std::string target = PathArgument(options.Arguments[1]);
  if (!FileExists(source) && source.rfind("\\\\", 0) != 0) {
    console.Error("no backup file " + source);
    return 1;
  }
  if (FileExists(target) && !options.Replace)
    throw EUsage("the database " + target + " exists: add --replace to replace it");
  TJobCommand command(options, console);
  const std::optional<bool> restored = command.Cli().Core().Restore(source, target);
  jobStopped = command.Stopped();
  return command.Outcome(restored.value_or(false), "restored: " + target,
                         "restore of " + source + " into " + target + " failed");
}
