#include "runner/backup_source.h"

#include <optional>

#include "platform/share_path.h"
#include "runner/database_control.h"
#include "runner/local_copy_job.h"
#include "runner/local_copy_reader.h"
#include "runner/log_pane.h"
#include "runner/ui_seams.h"
#include "service/backup_file_check.h"

namespace {

std::string ChecksumRefusalText(const TChecksumCheck& check, const std::string& source) {
  if (check.Outcome == TChecksumCheck::Differs)
    return "Копия на этом компьютере повреждена: её содержимое не совпадает с контрольной суммой, записанной "
           "при её создании.\n" +
           source + "\nИз неё ничего не восстановлено.";
  return "Копию на этом компьютере нельзя проверить: её файл контрольной суммы отсутствует или не читается.\n" +
         source + "\nИз неё ничего не восстановлено.";
}

}  // namespace

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

std::optional<TSourceRefusal> RestoreSourceRefusal(const std::string& source, const std::string& target) {
  const std::string computer = LocalComputerName();
  const std::vector<TMountEntry> mounts = ReadMountTable();
  const TServerPath from = ServerPathOf(source, computer, mounts);
  if (RestoreFedFromThisComputer(source, from, ServerPathOf(target, computer, mounts))) {
    std::optional<TChecksumCheck> check;
    try {
      check = TLocalCopyReader(source).CheckChecksum();
    } catch (const std::exception&) {
      // Not readable here: the job itself says so when it opens the file.
    }
    if (check && check->Refused()) return TSourceRefusal{ChecksumRefusalText(*check, source), check->Reason};
  }
  const std::string cutShort = CutShortSourceRefusal(from, computer, mounts);
  if (!cutShort.empty()) {
    return TSourceRefusal{"Файл резервной копии обрезан: он кончается раньше, чем записанная в нём копия.\n" + source +
                              "\nИз него ничего не восстановлено.",
                          cutShort};
  }
  return std::nullopt;
}
