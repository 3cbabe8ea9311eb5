#pragma once
// Where a run keeps its settings file and its logs, decided once at start.
//
// Portable: while the executable's folder takes files (a build folder, an
// unpacked archive), everything stays beside the executable. Installed
// system-wide, the settings file goes to $XDG_CONFIG_HOME/Quorvin/ and the
// logs to $XDG_STATE_HOME/Quorvin/ (the "log" folder inside), with the XDG
// defaults ~/.config and ~/.local/state when the variables are unset.

#include <functional>
#include <string>

inline constexpr const char* XdgFolderName = "Quorvin";

struct TFileLocations {
  bool Portable = true;
  // Each ends in the path separator.
  std::string SettingsDir;  // the settings file
  std::string DataDir;      // the "log" folder of the operation logs, the job logs
  std::string SaveDir;      // where saving the log pane starts
  // The job history, the record of a job in progress and the locks of the
  // settings file (a service's state folder); empty: SettingsDir.
  std::string StateDir;
  const std::string& StateFolder() const { return StateDir.empty() ? SettingsDir : StateDir; }
};

// The environment as getenv shows it: null for an unset variable.
using TEnvironment = std::function<const char*(const char* name)>;

// The decision alone, from its inputs; folders are neither looked at nor
// made. A relative or empty XDG variable is ignored, as the XDG rules ask;
// `home` stands in for an unusable HOME.
TFileLocations DecideFileLocations(const std::string& programDir, bool programDirTakesFiles,
                                   const TEnvironment& environment, const std::string& home);

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config (HOME, or
// `home` for an unusable HOME); no trailing separator.
std::string XdgConfigHome(const TEnvironment& environment, const std::string& home);
// The same in this process's environment (the password database's home
// folder standing in for an unusable HOME).
std::string ProcessXdgConfigHome();

// Makes `dir` and every missing parent, each new level with mode 0700.
void MakeFolders(const std::string& dir);

// True when this user may create files in `dir`. The system's program
// folders (/usr/bin, /usr/lib/..., the same under /usr/local) never count:
// they belong to the installation, read-only by convention even for root.
bool FolderTakesFiles(const std::string& dir);

// The decision for `programDir` in this process's environment, with the XDG
// folders made (each missing level with mode 0700: the settings file may
// hold a password).
TFileLocations LocateFiles(const std::string& programDir);

// The decision for `programDir` in this process's environment, no folder
// made: for a program that makes only the folders it writes in.
TFileLocations DecideProcessFileLocations(const std::string& programDir);

// LocateFiles for the executable's own folder, decided at the first call and
// kept for the life of the process.
const TFileLocations& ProcessFileLocations();
