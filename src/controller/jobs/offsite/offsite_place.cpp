#include "controller/jobs/offsite/offsite_place.h"

#include <vector>

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

TLocalCopySource OffsiteJobOf(const TDatabaseOptions& db, const std::string& source, const std::string& target,
                              bool restore) {
  const std::string computer = LocalComputerName();
  const std::vector<TMountEntry> mounts = ReadMountTable();
  TLocalCopySource job{{ServerPathOf(source, computer, mounts), ServerPathOf(target, computer, mounts)},
                       static_cast<std::uint8_t>(db.Protocol & 0xFF),
                       db.User,
                       db.Pass,
                       {}};
  const bool backupSwitches[] = {db.BackParam1, db.BackParam2, db.BackParam3, db.BackParam4,
                                 db.BackParam5, db.BackParam6, db.BackParam7};
  const bool restoreSwitches[] = {db.RestParam1, db.RestParam2, db.RestParam3, db.RestParam4,
                                  db.RestParam5, db.RestParam6, db.RestParam7};
  for (int i = 0; i < 7; ++i) job.Switches[i] = restore ? restoreSwitches[i] : backupSwitches[i];
  return job;
}

std::optional<TS3ObjectLock> PlanCopyLock(const TDatabaseOptions& db, std::int64_t nowSeconds) {
  if (db.KeepBackupDays <= 0) return std::nullopt;
  constexpr std::int64_t SecondsPerDay = 24 * 60 * 60;
  return TS3ObjectLock{TS3ObjectLock::TMode::Governance, nowSeconds + db.KeepBackupDays * SecondsPerDay};
}
