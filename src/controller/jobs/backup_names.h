#pragma once
// The dated names of backups, and the rule that keeps two backups of one
// database apart. A logical backup is "<base>_dd_mm_yy_hh_nn.gbk"; when that
// name is taken (two hand backups in one minute, the service beside a hand
// job, a plan backup that waited into its next slot) it is
// "<base>_dd_mm_yy_hh_nn_ss.gbk", and when even that is taken
// "<base>_dd_mm_yy_hh_nn_ss_2.gbk", "_3", … A physical backup starts at the
// seconds ("<base>_L<level>_dd_mm_yy_hh_nn_ss.nbk", incremental_names.h) and
// counts on the same way.
//
// A name is taken while a file has it (the backup, or its copy on this
// computer and the copy's checksum file) or the history names it: a backup
// never replaces another's file, and the history never names two backups
// alike (a file removed by retention keeps its name). The names order by the
// moment they carry, then by their form: the minute alone, the seconds, then
// the counted ones.

#include <compare>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/date_time.h"

struct TBackupName;
struct THistoryRecord;

// What a dated name carries.
struct TBackupStamp {
  TDateTime Moment = 0;
  // 0: the minute alone; 1: with seconds; 2, 3, …: counted.
  int Order = 0;
  auto operator<=>(const TBackupStamp&) const = default;
};

// The stamp of `text` when it is "_dd_mm_yy_hh_nn", "_dd_mm_yy_hh_nn_ss" or
// "_dd_mm_yy_hh_nn_ss_N" (N from 2, no leading zero) of a moment that exists.
std::optional<TBackupStamp> ParseBackupStamp(std::string_view text);

// The first name not `taken`: each of `stems` in turn, then the last one
// followed by "_2", "_3", …; each with `extension`.
std::string FirstFreeName(const std::vector<std::string>& stems, const std::string& extension,
                          const std::function<bool(const std::string& path)>& taken);

// Whether a new backup may not be named `path`: a file has that name, or its
// copy in `copyDir` (empty: none) or the copy's checksum file does, or a
// record of `history` names it as its file or its copy.
bool BackupNameTaken(const std::string& path, const std::string& copyDir, const std::vector<THistoryRecord>& history);

// The file of a new logical backup of `name` made at `moment` (see above),
// its copy going to `copyDir` (empty: none), the history in `historyPath`.
std::string NewDatedBackupFile(const TBackupName& name, TDateTime moment, const std::string& copyDir,
                               const std::string& historyPath);
