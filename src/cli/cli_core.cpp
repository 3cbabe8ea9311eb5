#include "cli/cli_core.h"

#include <cstdlib>

#include "platform/exception.h"
#include "platform/files.h"

TEnvironment ProcessEnvironmentOf() {
  return [](const char* name) -> const char* { return std::getenv(name); };
}

TCliCore::TCliCore(const TCliOptions& options, const TConsole& console, bool runsJobs)
    : FConsole(console),
      FPane(options.Quiet),
      FPrompts(console),
      FNotices(console),
      FSetup(CoreSetupOf(options, ProcessEnvironmentOf())) {
  TFrontEnd frontEnd{&FPane, &FPrompts, &FNotices, "quorvinctl", &FStop};
  frontEnd.WritesSettings = false;
  frontEnd.StartsLog = runsJobs;
  frontEnd.WhileWaiting = [this] {
    if (FWhileWaiting) FWhileWaiting();
  };
  if (runsJobs) {
    // The state and log folders of a service may be new.
    for (const std::string& folder : {FSetup.Locations.StateFolder(), FSetup.Locations.DataDir})
      MakeFolders(folder.substr(0, folder.size() - 1));
  }
  FCore = std::make_unique<TQuorvin>(frontEnd, FSetup.SettingsFile, FSetup.Locations);
}

bool TCliCore::SettingsExist() const { return FileExists(FSetup.SettingsFile); }

void TCliCore::RequireReadSettings() const {
  if (!FCore->SettingsFault().empty()) throw Exception(FCore->SettingsFault());
}

void TCliCore::ApplyLogin(const TCliOptions& options) {
  ::ApplyLogin(options, ProcessEnvironmentOf(), FCore->Settings(),
               [this](const std::string& warning) { FConsole.Warning(warning); });
}
