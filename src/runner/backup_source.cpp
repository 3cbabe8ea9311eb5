#include "runner/backup_source.h"

#include <optional>

#include "platform/share_path.h"
#include "runner/database_control.h"
#include "service/backup_file_check.h"

std::string CutShortSourceRefusal(const TServerPath& source, const std::string& computerName,
                                  const std::vector<TMountEntry>& mounts) {
  if (source.LocalPath.empty()) return {};
  // The file as the server knows it, found where this computer sees it.
  const std::optional<std::string> local =
      ResolveSharePath(DatabaseSharePath(source.ServerName, source.LocalPath), computerName, mounts);
  if (!local || JudgeBackupFile(*local) != TBackupFileEnd::CutShort) return {};
  return "The backup file " + *local +
         " is cut short: it ends before the end of its backup (a copy that stopped early, a disk that ran "
         "full, or the first of several volumes). The restore was not started";
}
