#include "controller/jobs/offsite/offsite_place.h"

#include <vector>

#include "controller/jobs/job_fill.h"
#include "jobs/job.h"
#include "platform/mount_table.h"
#include "runner/job_paths.h"
#include "runner/log_pane.h"
#include "storage/s3/s3_place.h"

std::unique_ptr<TS3Target> OffsiteTargetOf(const TOffsiteSettings& place, TS3Options options) {
  TS3Place where = PlaceOfUrl(place.Url);
  where.Endpoint = place.Endpoint;
  where.Region = place.Region;
  if (place.PathStyle) where.Addressing = TS3Addressing::Path;
  return std::make_unique<TS3Target>(ResolvePlace(std::move(where)), ResolveCredentials(place.Credentials),
                                     std::move(options));
}

std::optional<TCryptKey> OffsiteKeyOf(const TOffsiteSettings& place) {
  if (place.EncryptKey.empty()) return std::nullopt;
  return ReadKeyFile(place.EncryptKey);
}

TLocalCopySource OffsiteJobOf(const TDatabaseOptions& db, const std::string& database, const std::string& backupFile) {
  const std::string computer = LocalComputerName();
  const std::vector<TMountEntry> mounts = ReadMountTable();
  return {ServerPathOf(database, computer, mounts),
          ServerPathOf(backupFile, computer, mounts),
          JobProtocolOf(db.Protocol),
          db.User,
          db.Pass,
          BackupOptionsOf(db)};
}

TOffsiteRestore OffsiteRestoreOf(const TDatabaseOptions& db, const std::string& database) {
  return {ServerPathOf(database, LocalComputerName(), ReadMountTable()), JobProtocolOf(db.Protocol), db.User, db.Pass,
          RestoreOptionsOf(db)};
}

std::optional<TS3ObjectLock> PlanCopyLock(const TDatabaseOptions& db, std::int64_t nowSeconds) {
  if (db.KeepBackupDays <= 0) return std::nullopt;
  constexpr std::int64_t SecondsPerDay = 24 * 60 * 60;
  return TS3ObjectLock{TS3ObjectLock::TMode::Governance, nowSeconds + db.KeepBackupDays * SecondsPerDay};
}
