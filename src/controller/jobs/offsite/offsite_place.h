#pragma once
// The store an entry's off-site copies go to, as its settings name it, and
// the job that streams a backup there (or restores from there) with a
// database's login and switches. Keys are read from their files here and go
// nowhere else.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "controller/settings/settings.h"
#include "jobs/offsite/offsite_restore.h"
#include "jobs/targets/s3/s3_target.h"
#include "runner/local_copy_source.h"
#include "storage/crypt/crypt_key.h"

// The bucket's place `place.Url` reached as `place` says (the environment
// filling in what it leaves out), with the keys of its credentials file or
// of the environment. Raises naming what is missing or wrong.
std::unique_ptr<TS3Target> OffsiteTargetOf(const TOffsiteSettings& place, TS3Options options = {});

// The key of `place.EncryptKey`, read at once; nullopt without one.
std::optional<TCryptKey> OffsiteKeyOf(const TOffsiteSettings& place);

// The job that streams the backup of `database` (named after `backupFile`),
// with `db`'s protocol, login and backup switches; and the restore of an
// off-site copy into the new `database` with its restore switches.
TLocalCopySource OffsiteJobOf(const TDatabaseOptions& db, const std::string& database, const std::string& backupFile);
TOffsiteRestore OffsiteRestoreOf(const TDatabaseOptions& db, const std::string& database);

// The Object Lock retention of a plan copy made at `nowSeconds` under `db`'s
// rule: kept D days, so locked for D days (governance mode: the program's
// own keys cannot remove it, an administrator allowed to bypass the lock
// can). A rule of "keep N" alone gives no date, and no lock.
std::optional<TS3ObjectLock> PlanCopyLock(const TDatabaseOptions& db, std::int64_t nowSeconds);
