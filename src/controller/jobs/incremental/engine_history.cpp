#include "controller/jobs/incremental/engine_history.h"

#include <exception>

#include "controller/jobs/incremental/chain.h"
#include "platform/files.h"
#include "platform/mount_table.h"
#include "runner/job_paths.h"
#include "runner/log_pane.h"
#include "service/nbackup_file.h"

namespace {

// The server's name of `file`.
std::string ServerName(const std::string& file) {
  return ServerPathOf(file, LocalComputerName(), ReadMountTable()).LocalPath;
}

// True when `file` is `backup`; nullopt when this computer cannot read the
// file's header (its name is all there is to go by then).
std::optional<bool> FileIsEngineBackup(const std::string& file, const TEngineBackup& backup) {
  if (!ReadNBackupHeader(file)) return std::nullopt;
  const std::optional<TBackupGuid> guid = ParseGuidText(backup.Guid);
  return guid && BackupHoldsGuid(file, backup.Level, *guid);
}

}  // namespace

TEngineHistory ReadEngineHistory(const std::string& database, TProtocol protocol, const std::string& user,
                                 const std::string& password) {
  TEngineHistory history;
  try {
    const TServerPath path = ServerPathOf(database, LocalComputerName(), ReadMountTable());
    history.Backups = ReadEngineBackups(path.ServerName, path.LocalPath, protocol, user, password);
    history.Known = true;
  } catch (const std::exception& error) {
    history.Error = error.what();
  }
  return history;
}

std::optional<TEngineBackup> LatestEngineBackup(const std::vector<TEngineBackup>& backups, int level) {
  for (auto it = backups.rbegin(); it != backups.rend(); ++it)
    if (it->Level == level) return *it;
  return std::nullopt;
}

bool EngineListsFile(const std::vector<TEngineBackup>& backups, const std::string& file) {
  const std::string serverName = ServerName(file);
  for (const TEngineBackup& backup : backups) {
    const std::optional<bool> same = FileIsEngineBackup(file, backup);
    if (same ? *same : backup.FileName == serverName) return true;
  }
  return false;
}

std::string FileOfEngineBackup(const TEngineBackup& backup, const std::string& candidate, const std::string& folder) {
  if (!candidate.empty()) {
    const std::optional<bool> same = FileIsEngineBackup(candidate, backup);
    if (same ? *same : backup.FileName == ServerName(candidate)) return candidate;
  }
  const std::optional<TBackupGuid> guid = ParseGuidText(backup.Guid);
  return guid ? BackupByGuid(folder, backup.Level, *guid, candidate) : std::string();
}
