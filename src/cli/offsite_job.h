#pragma once
// The off-site copies of quorvinctl: where the command line says they go
// (checked before any job starts), a backup's copy sent there after the
// backup, and a restore read from there.

#include <memory>
#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "cli/console.h"
#include "controller/jobs/offsite/offsite_restore_job.h"
#include "jobs/targets/s3/s3_target.h"
#include "storage/crypt/crypt_key.h"

class TCliCore;
struct TBackupOutcome;

// The bucket's place under `prefixUrl` ("s3://bucket/prefix"), reached as
// the options and the environment say, with the keys of the credentials
// file or the environment. Raises naming what is missing or wrong.
std::unique_ptr<TS3Target> OffsiteTargetOf(const TCliOptions& options, const std::string& prefixUrl,
                                           const TConsole& console);

// The key of --encrypt-key, read at once; nullopt without it.
std::optional<TCryptKey> EncryptionKeyOf(const TCliOptions& options);

// Sends the off-site copy of the backup `outcome` made of `database`: the
// server streams the backup again into the store. Writes its history
// record and operation log line; returns the copy's location, or nullopt
// (with `reason`) when it failed.
std::optional<std::string> SendOffsiteCopy(TCliCore& cli, TS3Target& target, const TCryptKey* key,
                                           const std::string& database, const TBackupOutcome& outcome,
                                           std::string& reason);

// Restores the object `objectUrl` into the new database `target`.
// Returns whether it was restored; `reason` says why not.
bool RestoreFromObject(TCliCore& cli, const TCliOptions& options, const std::string& objectUrl,
                       const std::string& target, std::string& reason);
