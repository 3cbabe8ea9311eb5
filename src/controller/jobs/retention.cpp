#include "controller/jobs/retention.h"

#include <algorithm>

namespace {

// "_dd_mm_yy_hh_nn": the date the plan's automatic names carry.
constexpr std::string_view DatedPattern = "_99_99_99_99_99";

std::optional<int> TwoDigits(std::string_view text, std::size_t pos) {
  const char a = text[pos];
  const char b = text[pos + 1];
  if (a < '0' || a > '9' || b < '0' || b > '9') return std::nullopt;
  return (a - '0') * 10 + (b - '0');
}

struct TDatedBackup {
  std::string Name;
  TDateTime Moment;
};

}  // namespace

std::optional<TDateTime> DatedBackupMoment(std::string_view name, std::string_view baseName,
                                           std::string_view extension) {
  if (name.size() != baseName.size() + DatedPattern.size() + extension.size() ||
      name.substr(0, baseName.size()) != baseName || name.substr(name.size() - extension.size()) != extension)
    return std::nullopt;
  const std::string_view suffix = name.substr(baseName.size(), DatedPattern.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    const char want = DatedPattern[i];
    const char got = suffix[i];
    if (want == '9' ? (got < '0' || got > '9') : got != want) return std::nullopt;
  }
  const auto field = [&](int n) { return *TwoDigits(suffix, 1 + 3 * static_cast<std::size_t>(n)); };
  TDateTime date = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(2000 + field(2), field(1), field(0), date) || !TryEncodeTime(field(3), field(4), 0, 0, time))
    return std::nullopt;
  return date + time;
}

std::vector<std::string> BackupsToRemove(const std::vector<std::string>& names, std::string_view baseName,
                                         std::string_view justMade, TRetentionRule rule, TDateTime now,
                                         std::string_view extension) {
  if (!rule.Active()) return {};
  std::vector<TDatedBackup> dated;
  for (const std::string& name : names)
    if (const auto moment = DatedBackupMoment(name, baseName, extension)) dated.push_back({name, *moment});
  std::sort(dated.begin(), dated.end(), [](const TDatedBackup& a, const TDatedBackup& b) {
    return a.Moment != b.Moment ? a.Moment > b.Moment : a.Name > b.Name;
  });
  std::vector<std::string> removed;
  for (std::size_t rank = 1; rank < dated.size(); ++rank) {
    const TDatedBackup& backup = dated[rank];
    if (backup.Name == justMade) continue;
    const bool beyondCount = rule.KeepLast > 0 && rank >= static_cast<std::size_t>(rule.KeepLast);
    const bool tooOld = rule.KeepDays > 0 && backup.Moment < now - rule.KeepDays;
    if (beyondCount || tooOld) removed.push_back(backup.Name);
  }
  return removed;
}
