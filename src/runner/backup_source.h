#pragma once
// The check of a restore's backup file before anything is asked of the
// engine: a file this computer can read and finds cut short is refused (see
// service/backup_file_check.h for why it must never reach the server).

#include <string>
#include <vector>

#include "platform/mount_table.h"
#include "runner/job_paths.h"

// Why the restore from `source` is not started; empty when it may go ahead
// (the file is whole, cannot be judged, or cannot be read from here).
std::string CutShortSourceRefusal(const TServerPath& source, const std::string& computerName,
                                  const std::vector<TMountEntry>& mounts);
