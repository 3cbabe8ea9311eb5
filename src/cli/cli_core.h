#pragma once
// One run of quorvinctl: its console, the pane and boxes of its jobs, the
// request to stop them, and the core for its settings file. The settings
// file is only ever read: the command line's overrides hold for its own jobs.

#include <functional>
#include <memory>
#include <string>

#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/core_setup.h"
#include "controller/quorvin.h"
#include "runner/job_stop.h"

class TCliCore {
 public:
  // `runsJobs`: the run starts an operation log, as the window does, and
  // needs its state folder (RequireStateFolder).
  TCliCore(const TCliOptions& options, const TConsole& console, bool runsJobs);
  TCliCore(const TCliCore&) = delete;
  TCliCore& operator=(const TCliCore&) = delete;

  TQuorvin& Core() { return *FCore; }
  const TConsole& Console() const { return FConsole; }
  TConsolePane& Pane() { return FPane; }
  TConsolePrompts& Prompts() { return FPrompts; }
  TJobStop& Stop() { return FStop; }
  const std::string& SettingsFile() const { return FSetup.SettingsFile; }
  bool SettingsExist() const;
  // Raises Exception naming the settings file and the reason when it is
  // there but cannot be read or is no settings file: a plan, a status or a
  // job on the defaults instead would look healthy and do something else.
  void RequireReadSettings() const;
  // Makes the state folder when missing; raises Exception naming it and
  // the reason when it cannot be made or written in (a lock there could
  // not be taken, which is no other program's doing).
  void RequireStateFolder() const;
  const TFileLocations& Locations() const { return FSetup.Locations; }
  // The login of the command line and the environment over the settings'.
  void ApplyLogin(const TCliOptions& options);
  // What runs every 50 ms or so while the program waits for a job of its
  // own (the signals read).
  void SetWhileWaiting(std::function<void()> turn) { FWhileWaiting = std::move(turn); }

 private:
  const TConsole& FConsole;
  TConsolePane FPane;
  TConsolePrompts FPrompts;
  TConsoleNotices FNotices;
  TJobStop FStop;
  TCoreSetup FSetup;
  std::function<void()> FWhileWaiting;
  std::unique_ptr<TQuorvin> FCore;
};

// The environment of this process.
TEnvironment ProcessEnvironmentOf();
