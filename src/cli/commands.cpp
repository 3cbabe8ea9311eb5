#include "cli/commands.h"

int RunCommand(const TCliOptions& options, const TConsole& console, bool& jobStopped) {
  switch (options.Command) {
    case TCommand::Run: return ServiceCommand(options, console, jobStopped);
    case TCommand::Backup: return BackupCommand(options, console, jobStopped);
    case TCommand::Restore: return RestoreCommand(options, console, jobStopped);
    case TCommand::Status: return StatusCommand(options, console);
    case TCommand::History: return HistoryCommand(options, console);
    case TCommand::Plan: return PlanCommand(options, console);
    case TCommand::Check: return CheckSetupCommand(options, console);
    case TCommand::None: break;
  }
  throw EUsage("no command given");
}
