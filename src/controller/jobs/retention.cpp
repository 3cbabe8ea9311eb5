#include "controller/jobs/retention.h"

#include <algorithm>

#include "controller/jobs/backup_names.h"

namespace {

struct TDatedBackup {
  std::string Name;
  TBackupStamp Stamp;
};

// The stamp of `name` when it is exactly `baseName`, a date and `extension`.
std::optional<TBackupStamp> DatedBackupStamp(std::string_view name, std::string_view baseName,
                                             std::string_view extension) {
  if (name.size() < baseName.size() + extension.size() || name.substr(0, baseName.size()) != baseName ||
      name.substr(name.size() - extension.size()) != extension)
    return std::nullopt;
  return ParseBackupStamp(name.substr(baseName.size(), name.size() - baseName.size() - extension.size()));
}

}  // namespace

std::optional<TDateTime> DatedBackupMoment(std::string_view name, std::string_view baseName,
                                           std::string_view extension) {
  const auto stamp = DatedBackupStamp(name, baseName, extension);
  if (!stamp) return std::nullopt;
  return stamp->Moment;
}

std::vector<std::string> BackupsToRemove(const std::vector<std::string>& names, std::string_view baseName,
                                         std::string_view justMade, TRetentionRule rule, TDateTime now,
                                         std::string_view extension) {
  if (!rule.Active()) return {};
  std::vector<TDatedBackup> dated;
  for (const std::string& name : names)
    if (const auto stamp = DatedBackupStamp(name, baseName, extension)) dated.push_back({name, *stamp});
  std::sort(dated.begin(), dated.end(), [](const TDatedBackup& a, const TDatedBackup& b) {
    return a.Stamp != b.Stamp ? a.Stamp > b.Stamp : a.Name > b.Name;
  });
  std::vector<std::string> removed;
  for (std::size_t rank = 1; rank < dated.size(); ++rank) {
    const TDatedBackup& backup = dated[rank];
    if (backup.Name == justMade) continue;
    const bool beyondCount = rule.KeepLast > 0 && rank >= static_cast<std::size_t>(rule.KeepLast);
    const bool tooOld = rule.KeepDays > 0 && backup.Stamp.Moment < now - rule.KeepDays;
    if (beyondCount || tooOld) removed.push_back(backup.Name);
  }
  return removed;
}
