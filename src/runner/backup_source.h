#pragma once
// The check of a restore's backup file before anything is asked of the
// engine: a file this computer can read and finds cut short is refused (see
// service/backup_file_check.h for why it must never reach the server).

#include <optional>
#include <string>
#include <vector>

#include "platform/mount_table.h"
#include "runner/job_paths.h"

// Why the restore from `source` is not started; empty when it may go ahead
// (the file is whole, cannot be judged, or cannot be read from here).
std::string CutShortSourceRefusal(const TServerPath& source, const std::string& computerName,
                                  const std::vector<TMountEntry>& mounts);

// Why a restore of `source` into `target` must not start, found by the
// checks that need nobody's answer: a copy on this computer that does not
// match its checksum file, or a backup file cut short.
struct TSourceRefusal {
  // For the user, in Russian: what is wrong with which file.
  std::string Text;
  // The technical reason, for the operation log and the pane.
  std::string Reason;
};
std::optional<TSourceRefusal> RestoreSourceRefusal(const std::string& source, const std::string& target);
