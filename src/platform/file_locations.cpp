#include "platform/file_locations.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/files.h"

namespace {

// The value of an XDG variable when it is an absolute path, else `fallback`.
std::string XdgFolder(const TEnvironment& environment, const char* name, const std::string& fallback) {
  const char* value = environment(name);
  if (value == nullptr || value[0] != '/') return fallback;
  return value;
}

// The home folder from the password database, for a process without HOME.
std::string PasswordHome() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/')
    return found->pw_dir;
  return "/";
}

// Where installations put programs: /usr/bin, /usr/sbin, /usr/games,
// /usr/lib*, /usr/libexec and the same under /usr/local (a build folder in
// /usr/src stays portable).
bool IsSystemProgramFolder(const std::string& dir) {
  std::string rest;
  for (const char* prefix : {"/usr/local/", "/usr/"}) {
    if (dir.rfind(prefix, 0) == 0) {
      rest = dir.substr(std::string(prefix).size());
      break;
    }
  }
  const std::string top = rest.substr(0, rest.find('/'));
  return top == "bin" || top == "sbin" || top == "games" || top.rfind("lib", 0) == 0;
}

TEnvironment ProcessEnvironment() {
  return [](const char* name) -> const char* { return std::getenv(name); };
}

}  // namespace

void MakeFolders(const std::string& dir) {
  for (std::size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1)) {
    const std::string level = dir.substr(0, slash);
    if (mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) return;
  }
  mkdir(dir.c_str(), 0700);
}

std::string XdgConfigHome(const TEnvironment& environment, const std::string& home) {
  const std::string homeSlash = IncludeTrailingPathDelimiter(XdgFolder(environment, "HOME", home));
  return XdgFolder(environment, "XDG_CONFIG_HOME", homeSlash + ".config");
}

std::string ProcessXdgConfigHome() { return XdgConfigHome(ProcessEnvironment(), PasswordHome()); }

TFileLocations DecideFileLocations(const std::string& programDir, bool programDirTakesFiles,
                                   const TEnvironment& environment, const std::string& home) {
  TFileLocations places;
  const std::string program = IncludeTrailingPathDelimiter(programDir);
  if (programDirTakesFiles) {
    places.Portable = true;
    places.SettingsDir = places.DataDir = places.SaveDir = program;
    return places;
  }
  const std::string homeDir = XdgFolder(environment, "HOME", home);
  const std::string homeSlash = IncludeTrailingPathDelimiter(homeDir);
  const std::string config = XdgConfigHome(environment, home);
  const std::string state = XdgFolder(environment, "XDG_STATE_HOME", homeSlash + ".local/state");
  places.Portable = false;
  places.SettingsDir = IncludeTrailingPathDelimiter(IncludeTrailingPathDelimiter(config) + XdgFolderName);
  places.DataDir = IncludeTrailingPathDelimiter(IncludeTrailingPathDelimiter(state) + XdgFolderName);
  places.SaveDir = homeSlash;
  return places;
}

bool FolderTakesFiles(const std::string& dir) {
  if (IsSystemProgramFolder(dir)) return false;
  return access(dir.c_str(), W_OK) == 0;
}

TFileLocations DecideProcessFileLocations(const std::string& programDir) {
  return DecideFileLocations(programDir, FolderTakesFiles(programDir), ProcessEnvironment(), PasswordHome());
}

TFileLocations LocateFiles(const std::string& programDir) {
  TFileLocations places = DecideProcessFileLocations(programDir);
  if (!places.Portable) {
    MakeFolders(places.SettingsDir.substr(0, places.SettingsDir.size() - 1));
    MakeFolders(places.DataDir.substr(0, places.DataDir.size() - 1));
  }
  return places;
}

const TFileLocations& ProcessFileLocations() {
  static const TFileLocations places = LocateFiles(ProgramDirectory());
  return places;
}
