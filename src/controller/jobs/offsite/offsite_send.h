#pragma once
// The off-site copy of a backup just made, with its account: the server
// streams the backup again, through zstd (and the encryption), into the
// store; a history record of kind "offsite" and an operation log line say
// whether it was made and where. The backup itself is never touched.

#include <string>

#include "controller/jobs/database_jobs.h"

class TCryptKey;
class TJobOutput;
class TOperationLog;
class TS3Target;

// Where the account of a copy is kept, and who asked for it.
struct TOffsiteAccount {
  const char* By;  // HistoryByUser or HistoryByPlan
  const std::string& HistoryPath;
  TOperationLog& Log;
};

struct TOffsiteSent {
  bool Made = false;
  std::string Name;            // the copy's object name under the prefix
  std::string Location;        // "s3://bucket/prefix/name"
  std::string Reason;          // why it was not made
  std::string ProtectedUntil;  // ISO 8601 end of its Object Lock; empty: none
};

// Sends the copy of the backup `made` of `db.DataBase` (with `db`'s login
// and switches) into `target`, encrypted with `key` (null: not encrypted);
// pane lines go to `output`, a stop asked there gives it up.
TOffsiteSent SendOffsiteCopy(TS3Target& target, const TCryptKey* key, const TOffsiteAccount& account,
                             const TDatabaseOptions& db, const TBackupOutcome& made, TJobOutput& output);

// The account of an off-site copy to `location` that failed before it could
// start (the store or a key could not be reached): its history record and
// operation log line.
TOffsiteSent OffsiteNotStarted(const TOffsiteAccount& account, const std::string& database, const std::string& location,
                               const std::string& reason);
