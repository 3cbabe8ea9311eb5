#pragma once
// Where quorvinctl's core keeps its files, and the command line's overrides
// of the settings for the jobs of this run.
//
// Without --config (or QUORVIN_CONFIG) it uses the settings file of the
// window program (the
// same decision: beside the executables of a build folder, else the XDG
// folders), so the service and the window share one plan, one history and
// one lock. A system service names its own: --config for the settings file,
// systemd's STATE_DIRECTORY and LOGS_DIRECTORY (or --state-dir, --log-dir)
// for the history, the job record and the locks, and the operation logs.

#include <functional>
#include <string>

#include "cli/cli_options.h"
#include "controller/settings/settings.h"
#include "platform/file_locations.h"

struct TCoreSetup {
  std::string SettingsFile;
  TFileLocations Locations;
};

TCoreSetup CoreSetupOf(const TCliOptions& options, const TEnvironment& environment);

// The login of the program: --user, else ISC_USER, else the settings; the
// password from --password-file, else ISC_PASSWORD, else the settings.
// Raises Exception when the password file cannot be read; `warn` hears that
// others may read it.
void ApplyLogin(const TCliOptions& options, const TEnvironment& environment, TSettings& settings,
                const std::function<void(const std::string&)>& warn);
// The job options of the command line over those of the settings.
void ApplyJobOptions(const TCliOptions& options, TSettings& settings);

// A database or backup named on the command line as jobs name it: a local
// path made absolute and normal, a network name (\\server\…) as it is.
std::string PathArgument(const std::string& path);

// The first line of a password file; warns through `warn` when others may
// read the file.
std::string ReadPasswordFile(const std::string& path, const std::function<void(const std::string&)>& warn);
