#pragma once
// The names of physical (nbackup) backup files: beside the database, as its
// logical backups are, "<base>_L<level>_dd_mm_yy_hh_nn_ss.nbk" (the base
// name as for "<base>_dd_mm_yy_hh_nn.gbk"). The extension and the level part
// keep them apart from the logical backups, whose retention never sees them;
// the seconds keep two backups of one minute apart, since a file of a chain
// must never be replaced by another.

#include <optional>
#include <string>
#include <string_view>

#include "platform/date_time.h"

struct TBackupName;

inline constexpr std::string_view IncrementalExtension = ".nbk";
// The highest level the program makes.
inline constexpr int MaxIncrementalLevel = 9;

// The full name of a backup of `level` made at `moment`.
std::string IncrementalFileName(const TBackupName& name, int level, TDateTime moment);

struct TIncrementalName {
  int Level = 0;
  TDateTime Moment = 0;
};
// The level and moment a file name (no folder) of `baseName` carries.
std::optional<TIncrementalName> ParseIncrementalName(std::string_view fileName, std::string_view baseName);

// A file named as a physical backup (by its extension, any folder).
bool IsIncrementalFile(const std::string& path);
