#include "cli/core_setup.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "platform/exception.h"
#include "platform/files.h"

namespace {

// A folder given by systemd ("a:b" when the unit names several: the first),
// an option winning over it; ends in the separator; empty when neither.
std::string FolderOf(const std::string& option, const TEnvironment& environment, const char* variable) {
  std::string folder = option;
  if (folder.empty()) {
    const char* value = environment(variable);
    if (value != nullptr) folder = std::string(value).substr(0, std::string(value).find(':'));
  }
  if (folder.empty()) return {};
  folder = std::filesystem::absolute(folder).lexically_normal().string();
  return IncludeTrailingPathDelimiter(folder);
}

}  // namespace

TCoreSetup CoreSetupOf(const TCliOptions& options, const TEnvironment& environment) {
  TCoreSetup setup;
  // The window's folders, decided but not made: a service with a settings
  // file of its own leaves no empty folders in its home.
  setup.Locations = DecideProcessFileLocations(ProgramDirectory());
  std::string config = options.Config;
  if (config.empty() && environment("QUORVIN_CONFIG") != nullptr) config = environment("QUORVIN_CONFIG");
  if (config.empty()) {
    setup.SettingsFile = setup.Locations.SettingsDir + "Quorvin.INI";
  } else {
    const std::filesystem::path file = std::filesystem::absolute(config).lexically_normal();
    setup.SettingsFile = file.string();
    setup.Locations.SettingsDir = IncludeTrailingPathDelimiter(file.parent_path().string());
  }
  setup.Locations.StateDir = FolderOf(options.StateDir, environment, "STATE_DIRECTORY");
  const std::string logs = FolderOf(options.LogDir, environment, "LOGS_DIRECTORY");
  if (!logs.empty()) setup.Locations.DataDir = logs;
  return setup;
}

std::string PathArgument(const std::string& path) {
  if (path.empty() || path[0] == '/' || path.rfind("\\\\", 0) == 0) return path;
  return std::filesystem::absolute(path).lexically_normal().string();
}

std::string ReadPasswordFile(const std::string& path, const std::function<void(const std::string&)>& warn) {
  bool exists = false;
  const std::optional<std::string> text = ReadWholeFile(path, exists);
  if (!text || !exists) throw Exception("cannot read the password file " + path + ": " + std::strerror(errno));
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IRGRP | S_IROTH)) != 0)
    warn("the password file " + path + " may be read by other users (chmod 600 it)");
  std::string password = text->substr(0, text->find('\n'));
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return password;
}

void ApplyLogin(const TCliOptions& options, const TEnvironment& environment, TSettings& settings,
                const std::function<void(const std::string&)>& warn) {
  if (options.User) {
    settings.User = *options.User;
  } else if (const char* user = environment("ISC_USER"); user != nullptr && *user != '\0') {
    settings.User = user;
  }
  if (!options.PasswordFile.empty()) {
    settings.Pass = ReadPasswordFile(options.PasswordFile, warn);
  } else if (const char* password = environment("ISC_PASSWORD"); password != nullptr && *password != '\0') {
    settings.Pass = password;
  }
}

void ApplyJobOptions(const TCliOptions& options, TSettings& settings) {
  if (options.Protocol) settings.Protocol = *options.Protocol;
  if (options.CopyDir) settings.LocalCopyDir = *options.CopyDir;
  if (options.CopyDir && options.CopyDir->empty()) settings.LocalCopyOnly = false;
  if (options.CopyOnly) settings.LocalCopyOnly = true;
  if (options.Verify) settings.VerifyBackup = *options.Verify;
}
