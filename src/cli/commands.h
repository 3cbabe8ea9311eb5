#pragma once
// The subcommands of quorvinctl; each returns the program's exit status
// (0 success, 1 a failed job, 2 wrong usage by raising EUsage).

#include "cli/cli_options.h"
#include "cli/console.h"

int RunCommand(const TCliOptions& options, const TConsole& console);

int BackupCommand(const TCliOptions& options, const TConsole& console);
int RestoreCommand(const TCliOptions& options, const TConsole& console);
int StatusCommand(const TCliOptions& options, const TConsole& console);
int HistoryCommand(const TCliOptions& options, const TConsole& console);
// `run`: service_run.cpp.
int ServiceCommand(const TCliOptions& options, const TConsole& console);
