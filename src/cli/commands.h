#pragma once
// The subcommands of quorvinctl; each returns the program's exit status
// (exit_codes.h; wrong usage by raising EUsage) and sets `jobStopped` when a
// signal stopped a running job.

#include "cli/cli_options.h"
#include "cli/console.h"

int RunCommand(const TCliOptions& options, const TConsole& console, bool& jobStopped);

int BackupCommand(const TCliOptions& options, const TConsole& console, bool& jobStopped);
int RestoreCommand(const TCliOptions& options, const TConsole& console, bool& jobStopped);
int StatusCommand(const TCliOptions& options, const TConsole& console);
int HistoryCommand(const TCliOptions& options, const TConsole& console);
// plan list|show|add|set|remove: plan_commands.cpp.
int PlanCommand(const TCliOptions& options, const TConsole& console);
// check: check_command.cpp.
int CheckSetupCommand(const TCliOptions& options, const TConsole& console);
// `run`: service_run.cpp.
int ServiceCommand(const TCliOptions& options, const TConsole& console, bool& jobStopped);
