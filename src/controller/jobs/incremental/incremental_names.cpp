#include "controller/jobs/incremental/incremental_names.h"

#include <vector>

#include "controller/history/job_history.h"
#include "controller/jobs/backup_names.h"
#include "controller/jobs/database_jobs.h"

namespace {

bool Digits(std::string_view text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return !text.empty();
}

// "<folder><base>_L<level>_dd_mm_yy_hh_nn_ss".
std::string IncrementalStem(const TBackupName& name, int level, TDateTime moment) {
  return name.BackDir + name.BackBaseName + "_L" + std::to_string(level) + FormatDateTime("_dd_mm_yy_hh_nn_ss", moment);
}

}  // namespace

std::string IncrementalFileName(const TBackupName& name, int level, TDateTime moment) {
  return IncrementalStem(name, level, moment) + std::string(IncrementalExtension);
}

std::string NewIncrementalFileName(const TBackupName& name, int level, TDateTime moment,
                                   const std::string& historyPath) {
  const std::vector<THistoryRecord> history = ReadHistory(historyPath);
  return FirstFreeName({IncrementalStem(name, level, moment)}, std::string(IncrementalExtension),
                       [&](const std::string& path) { return BackupNameTaken(path, {}, history); });
}

std::optional<TIncrementalName> ParseIncrementalName(std::string_view fileName, std::string_view baseName) {
  const std::string_view ext = IncrementalExtension;
  // "_L" and one digit.
  constexpr std::size_t LevelSize = 3;
  if (fileName.size() < baseName.size() + LevelSize + ext.size() || fileName.substr(0, baseName.size()) != baseName ||
      fileName.substr(fileName.size() - ext.size()) != ext)
    return std::nullopt;
  const std::string_view rest = fileName.substr(baseName.size(), fileName.size() - baseName.size() - ext.size());
  if (rest.substr(0, 2) != "_L" || rest[2] < '0' || rest[2] > '9') return std::nullopt;
  // Always with its seconds.
  const std::optional<TBackupStamp> stamp = ParseBackupStamp(rest.substr(LevelSize));
  if (!stamp || stamp->Order == 0) return std::nullopt;
  return TIncrementalName{rest[2] - '0', stamp->Moment, stamp->Order};
}

bool IsIncrementalFile(const std::string& path) {
  const std::string_view ext = IncrementalExtension;
  return path.size() > ext.size() && std::string_view(path).substr(path.size() - ext.size()) == ext;
}

bool IsIncrementalFileSetApart(const std::string& path) {
  if (IsIncrementalFile(path)) return true;
  const std::string_view ext = IncrementalExtension;
  const std::size_t at = path.rfind(ext);
  if (at == std::string::npos) return false;
  const std::string_view rest = std::string_view(path).substr(at + ext.size());
  constexpr std::string_view Failed = ".failed";
  constexpr std::string_view Aside = ".aside-";
  if (rest.substr(0, Failed.size()) == Failed)
    return rest.size() == Failed.size() || (rest[Failed.size()] == '.' && Digits(rest.substr(Failed.size() + 1)));
  return rest.substr(0, Aside.size()) == Aside && rest.size() == Aside.size() + 8;
}
