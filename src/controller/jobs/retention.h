#pragma once
// Which of a plan database's own backups retention removes. Only files the
// history records as that database's plan backups count (never one made with
// the button, by hand, or by another database whose backups share the name),
// and only under the names the plan writes: the base name, the date
// ("_dd_mm_yy_hh_nn", or with seconds and a count when the minute's name was
// taken: backup_names.h) and ".gbk" (".gbk.zst" for the copies on this
// computer), the date in the name ordering them. Every other file of the folder
// (moved-aside and ".failed" copies, other databases' backups, hand-made
// copies) is left alone, and so are the newest backup and the one just made.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/date_time.h"

struct TRetentionRule {
  int KeepLast = 0;  // keep the newest N backups; 0 keeps any number
  int KeepDays = 0;  // remove backups older than D days; 0 keeps any age
  bool Active() const { return KeepLast > 0 || KeepDays > 0; }
};

// The moment a dated backup name carries, when `name` is exactly `baseName`
// followed by a date (ParseBackupStamp) and `extension`.
std::optional<TDateTime> DatedBackupMoment(std::string_view name, std::string_view baseName,
                                           std::string_view extension = ".gbk");

// The names (from `names`, the plan's own backups in a folder) to remove
// under `rule` at `now`: those past the newest KeepLast and those older than
// KeepDays days, never the newest one nor `justMade`. Newest first.
std::vector<std::string> BackupsToRemove(const std::vector<std::string>& names, std::string_view baseName,
                                         std::string_view justMade, TRetentionRule rule, TDateTime now,
                                         std::string_view extension = ".gbk");
