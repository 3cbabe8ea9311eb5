#pragma once
// The subcommands of quorvinctl; each returns the program's exit status
// (0 success, 1 a failed job, 2 wrong usage by raising EUsage) and sets
// `jobStopped` when a signal stopped a running job.

#include "cli/cli_options.h"
#include "cli/console.h"

int RunCommand(const TCliOptions& options, const TConsole& console, bool& jobStopped);

int BackupCommand(const TCliOptions& options, const TConsole& console, bool& jobStopped);
int RestoreCommand(const TCliOptions& options, const TConsole& console, bool& jobStopped);
int StatusCommand(const TCliOptions& options, const TConsole& console);
int HistoryCommand(const TCliOptions& options, const TConsole& console);
// `run`: service_run.cpp.
int ServiceCommand(const TCliOptions& options, const TConsole& console, bool& jobStopped);
