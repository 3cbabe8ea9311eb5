#include "cli/cli_core.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/exception.h"
#include "platform/file_locations.h"
#include "platform/files.h"
#include "platform/folder_rights.h"

TEnvironment ProcessEnvironmentOf() {
  return [](const char* name) -> const char* { return std::getenv(name); };
}

TCliCore::TCliCore(const TCliOptions& options, const TConsole& console, bool runsJobs)
    : FConsole(console),
      FPane(!options.Verbose || options.Json),
      FPrompts(console),
      FNotices(console),
      FSetup(CoreSetupOf(options, ProcessEnvironmentOf())) {
  TFrontEnd frontEnd{&FPane, &FPrompts, &FNotices, "quorvinctl", &FStop};
  frontEnd.Language = TLanguage::English;
  frontEnd.WritesSettings = false;
  frontEnd.StartsLog = runsJobs;
  frontEnd.WhileWaiting = [this] {
    if (FWhileWaiting) FWhileWaiting();
  };
  if (runsJobs) {
    // The state and log folders of a service may be new.
    MakeFolders(FSetup.Locations.DataDir.substr(0, FSetup.Locations.DataDir.size() - 1));
    RequireStateFolder();
  }
  FCore = std::make_unique<TQuorvin>(frontEnd, FSetup.SettingsFile, FSetup.Locations);
}

void TCliCore::RequireStateFolder() const {
  const std::string& state = FSetup.Locations.StateFolder();
  const std::string folder = state.substr(0, state.size() - 1);
  MakeFolders(folder);
  const int error = FolderRefusal(folder, TFolderNeed::Write);
  if (error == 0) return;
  std::string above = folder;
  while (!DirectoryExists(above) && above.size() > 1) above = FolderOf(above);
  const std::string refused = RefusedFolderRight(DirectoryExists(folder) ? folder : above, TFolderNeed::Write);
  throw Exception("cannot make or write in the state folder " + folder +
                  " (the history, the job record and the locks): " +
                  (refused.empty() ? std::string(std::strerror(error)) : refused));
}

bool TCliCore::SettingsExist() const { return FileExists(FSetup.SettingsFile); }

void TCliCore::RequireReadSettings() const {
  if (!FCore->SettingsFault().empty()) throw Exception(FCore->SettingsFault());
}

void TCliCore::ApplyLogin(const TCliOptions& options) {
  ::ApplyLogin(options, ProcessEnvironmentOf(), FCore->Settings(),
               [this](const std::string& warning) { FConsole.Warning(warning); });
}
