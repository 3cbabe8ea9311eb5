#pragma once
// The names of physical (nbackup) backup files: beside the database, as its
// logical backups are, "<base>_L<level>_dd_mm_yy_hh_nn_ss.nbk" (the base
// name as for "<base>_dd_mm_yy_hh_nn.gbk"). The extension and the level part
// keep them apart from the logical backups, whose retention never sees them;
// the seconds keep two backups of one minute apart, and a name already taken
// (backup_names.h) is counted on ("…_ss_2.nbk", "_3", …), since a file of a
// chain must never be replaced by another.

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
// The same for a new backup: counted on while the name is taken by a file or
// by a record of the history in `historyPath`.
std::string NewIncrementalFileName(const TBackupName& name, int level, TDateTime moment,
                                   const std::string& historyPath);

struct TIncrementalName {
  int Level = 0;
  TDateTime Moment = 0;
  // 1: the seconds alone; 2, 3, …: counted within that second.
  int Order = 1;
};
// The level and moment a file name (no folder) of `baseName` carries.
std::optional<TIncrementalName> ParseIncrementalName(std::string_view fileName, std::string_view baseName);

// A file named as a physical backup (by its extension, any folder).
bool IsIncrementalFile(const std::string& path);
// The same, or a physical backup under a name the program gives a file it
// sets apart: "<name>.failed", "<name>.failed.N" (after a failed job),
// "<name>.aside-XXXXXXXX" (during a job). The server's own history may
// still count such a file as a link of its chain.
bool IsIncrementalFileSetApart(const std::string& path);
