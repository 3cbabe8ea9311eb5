#pragma once
// Restores from a store's off-site copies: which copies a place holds, and
// the restore of one of them into a new database with its history record.
// A restore from a store only ever makes a new database: what a failed one
// leaves is removed, which must never be a database that was there before.

#include <string>
#include <vector>

#include "controller/settings/settings.h"
#include "jobs/targets/backup_target.h"
#include "storage/crypt/crypt_key.h"

class TJobOutput;

// Whether a restore's backup is an object in a store ("s3://…").
bool IsObjectUrl(const std::string& text);

// The copies of `target` a restore can read (the copies themselves, not
// their checksum files), the newest first.
std::vector<TStoredCopy> RestorableCopiesOf(TBackupTarget& target);

// The restore of the object `Name` of a store into the new `Database`.
struct TObjectRestore {
  std::string Name;         // the object's name in the store
  std::string Database;     // the new database, as typed
  std::string HistoryPath;  // where its record goes
};

// Restores `restore.Name` of `target` (decrypted with `key`; null: none)
// with `db`'s protocol, login and restore switches; refuses a database that
// exists. Writes the history record (the object's URL as its source),
// removes the unfinished database on failure. Returns why it failed; empty
// when the database was restored.
std::string RestoreObject(TBackupTarget& target, const TCryptKey* key, const TDatabaseOptions& db,
                          const TObjectRestore& restore, TJobOutput& output);

// The same for the object `objectUrl` ("s3://bucket/key") of the store `db`'s
// off-site place names (its address, keys and encryption key); a store that
// cannot be reached fails the restore, with its record, like any other cause.
std::string RestoreOffsiteObject(const TDatabaseOptions& db, const std::string& objectUrl, const std::string& database,
                                 const std::string& historyPath, TJobOutput& output);
