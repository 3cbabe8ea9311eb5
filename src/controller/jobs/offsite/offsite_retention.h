#pragma once
// Retention in the bucket: a plan database's old off-site copies removed by
// its own rule (keep N, older than D days) after a plan copy was made. Only
// objects the history records as this database's successful plan copies to
// this very place are candidates (never an object of another program or
// another database under the same prefix, nor a copy made by hand), under
// the names the plan gives them (retention.h, extension ".gbk.zst"); the
// newest and the one just made stay. A copy goes with its ".sha256" object,
// and with every version of it in a versioned bucket. A copy still under
// Object Lock is skipped (a log line says until when), never tried.

#include <string>

#include "controller/settings/settings.h"

class TOperationLog;
class TS3Target;

struct TOffsiteRetention {
  const TDatabaseOptions& Db;  // DataBase, KeepLastBackups, KeepBackupDays
  std::string BaseName;        // of the backups' names (TBackupName::BackBaseName)
  std::string JustMade;        // the object name of the copy just made
};

// One operation log line per copy removed, skipped or not removable.
void RemoveOldOffsiteCopies(TS3Target& target, const TOffsiteRetention& retention, const std::string& historyPath,
                            TOperationLog& log);
