#include "controller/setup_check/setup_check.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "controller/plan_editor/plan_editor.h"
#include "jobs/job.h"
#include "platform/files.h"
#include "platform/folder_rights.h"
#include "platform/mount_table.h"
#include "runner/job_paths.h"
#include "runner/log_pane.h"
#include "runner/physical_backup.h"

namespace {

constexpr std::int32_t ProtocolTcp = 0;
constexpr std::int32_t ProtocolLocal = 3;

TCheckItem Fine(const std::string& text) { return {true, text}; }
TCheckItem Problem(const std::string& text) { return {false, text}; }

// The nearest folder of `folder` (itself or above) that is there.
std::string ExistingFolderOf(std::string folder) {
  while (!folder.empty() && folder != "/" && !DirectoryExists(folder)) folder = FolderOf(folder);
  return folder.empty() ? std::string("/") : folder;
}

// `folder` with `need`: a folder that is there and grants it, or (`mayMake`)
// one that its nearest existing parent lets this user make.
TCheckItem FolderItem(const std::string& what, const std::string& folder, TFolderNeed need, bool mayMake) {
  const std::string name = what + " " + folder;
  if (DirectoryExists(folder)) {
    const std::string refused = RefusedFolderRight(folder, need);
    if (!refused.empty()) return Problem(name + ": " + refused);
    if (const int error = FolderRefusal(folder, need)) return Problem(name + ": " + std::strerror(error));
    return Fine(name + ": fine");
  }
  if (FileExists(folder)) return Problem(name + ": it is a file, not a folder");
  if (!mayMake) return Problem(name + ": there is no such folder");
  const std::string parent = ExistingFolderOf(folder);
  const std::string refused = RefusedFolderRight(parent, TFolderNeed::Write);
  if (!refused.empty()) return Problem(name + " cannot be made: " + refused);
  if (const int error = FolderRefusal(parent, TFolderNeed::Write))
    return Problem(name + " cannot be made in " + parent + ": " + std::strerror(error));
  return Fine(name + ": not there yet, made at the first job");
}

std::string EngineLockFolder() {
  const char* chosen = std::getenv("FIREBIRD_LOCK");
  return chosen != nullptr && *chosen != '\0' ? chosen : "/tmp/firebird";
}

const char* ProtocolName(std::int32_t protocol) {
  switch (protocol) {
    case ProtocolTcp: return "TCP";
    case ProtocolLocal: return "Local";
    case 1: return "SPX";
    case 2: return "Named Pipes";
  }
  return "none";
}

// The server and the database, reached with the entry's login.
TCheckItem ServerItem(const TDatabaseOptions& options, const TServerPath& path) {
  const std::string server = options.Protocol == ProtocolLocal
                                 ? std::string("the embedded engine")
                                 : "server " + (path.ServerName.empty() ? LocalComputerName() : path.ServerName);
  const TPhysicalState state =
      ReadPhysicalState(path.ServerName, path.LocalPath, JobProtocolOf(options.Protocol), options.User, options.Pass);
  if (!state.Known) return Problem(server + " with user " + options.User + ": " + state.Error);
  std::string text = server + " (" + state.ServerVersion + ") reads the database as user " + options.User;
  if (state.ReadOnly) return Problem(text + ", but it is read-only: its backup cannot be made");
  if (state.BackupMode) text += "; note: the database is in physical backup mode (" + state.Attributes + ")";
  return Fine(text);
}

void CheckFolders(TEntryCheck& check, const TDatabaseOptions& options, const TServerPath& path) {
  const bool onThisComputer = !IsServerNotation(options.DataBase);
  const bool serverFile = options.LocalCopyDir.empty() || !options.LocalCopyOnly;
  if (serverFile && onThisComputer)
    check.Items.push_back(
        FolderItem("backup folder", FolderOf(ExpandFileName(options.DataBase)), TFolderNeed::Write, false));
  if (serverFile && !onThisComputer)
    check.Items.push_back(Fine("backup folder on " + path.ServerName + ": not seen from this computer, not checked"));
  if (!options.LocalCopyDir.empty())
    check.Items.push_back(FolderItem("copy folder", options.LocalCopyDir, TFolderNeed::Write, false));
  if (options.Protocol != ProtocolLocal) return;
  check.Items.push_back(FolderItem("engine lock folder", EngineLockFolder(), TFolderNeed::Everything, true));
  const std::string file = ExpandFileName(options.DataBase);
  if (const int error = ReadWriteRefusal(file))
    check.Items.push_back(
        Problem("database file " + file + ": protocol Local needs to read and write it: " + std::strerror(error)));
}

}  // namespace

bool TEntryCheck::Fine() const {
  return std::all_of(Items.begin(), Items.end(), [](const TCheckItem& item) { return item.Fine; });
}

TCheckItem CheckOwnFolder(const std::string& what, const std::string& folder) {
  return FolderItem(what, folder, TFolderNeed::Write, true);
}

TEntryCheck CheckPlanEntry(std::size_t number, const TPlanEntry& entry, const TDatabaseOptions& options) {
  TEntryCheck check;
  check.Number = number;
  check.Database = entry.DataBase;
  if (entry.DataBase.empty()) {
    check.Items.push_back(Problem("the entry names no database"));
    return check;
  }
  for (const std::string& warning : EntryWarnings(entry)) {
    // An entry on no weekday is one paused on purpose as often as not.
    const bool paused = !PlanOnAnyDay(entry.PlanRecord);
    check.Items.push_back({paused && warning.find("no weekday") != std::string::npos, "plan: " + warning});
  }
  for (TCheckItem& item : CheckOffsitePlace(entry.Offsite)) check.Items.push_back(std::move(item));
  if (options.Protocol != ProtocolTcp && options.Protocol != ProtocolLocal) {
    check.Items.push_back(
        Problem(std::string("protocol ") + ProtocolName(options.Protocol) + ": quorvinctl runs TCP and Local"));
    return check;
  }
  if (options.LocalCopyOnly && options.LocalCopyDir.empty())
    check.Items.push_back(Problem("a copy only on this computer, but no copy folder"));
  const TServerPath path = ServerPathOf(options.DataBase, LocalComputerName(), ReadMountTable());
  check.Items.push_back(ServerItem(options, path));
  CheckFolders(check, options, path);
  return check;
}
