#include "controller/jobs/offsite/offsite_retention.h"

#include <algorithm>
#include <map>
#include <vector>

#include "controller/history/job_history.h"
#include "controller/jobs/retention.h"
#include "controller/log/operation_log.h"
#include "jobs/offsite/offsite_copy.h"
#include "jobs/targets/s3/s3_target.h"
#include "platform/clock.h"
#include "platform/iso_time.h"

namespace {

// The locations of the database's own plan copies, each with the end of its
// lock as its record says (seconds since 1970; 0: none).
std::map<std::string, std::int64_t> OwnCopies(const std::string& historyPath, const std::string& database) {
  std::map<std::string, std::int64_t> own;
  for (const THistoryRecord& record : ReadHistory(historyPath)) {
    if (record.Kind != HistoryKindOffsite || record.By != HistoryByPlan || !record.Succeeded() ||
        record.Database != database)
      continue;
    own[record.File] = ParseIso8601(record.ProtectedUntil).value_or(0);
  }
  return own;
}

// Removes the object `key` for good: in a versioned bucket (Object Lock
// makes one) a plain delete only hides it, so each version goes.
void RemoveObject(TS3Client& client, const std::string& key) {
  bool versions = false;
  for (const TS3ObjectVersion& version : client.ListObjectVersions(key)) {
    if (version.Object.Key != key || version.Object.VersionId.empty() || version.Object.VersionId == "null") continue;
    client.DeleteObject(key, version.Object.VersionId);
    versions = true;
  }
  if (!versions) client.DeleteObject(key);
}

// The end of the lock the store keeps on `name` (0: none), when it tells.
std::int64_t StoreLock(TS3Client& client, const std::string& name) {
  const std::optional<TS3ObjectInfo> info = client.FindObject(client.Place().ObjectKey(name));
  return info && info->Lock ? info->Lock->RetainUntil : 0;
}

}  // namespace

void RemoveOldOffsiteCopies(TS3Target& target, const TOffsiteRetention& retention, const std::string& historyPath,
                            TOperationLog& log) {
  const TRetentionRule rule{retention.Db.KeepLastBackups, retention.Db.KeepBackupDays};
  if (!rule.Active()) return;
  const std::map<std::string, std::int64_t> own = OwnCopies(historyPath, retention.Db.DataBase);
  std::vector<std::string> names;
  try {
    for (const TStoredCopy& copy : target.List())
      if (own.count(target.Describe(copy.Name)) > 0) names.push_back(copy.Name);
  } catch (const std::exception& error) {
    log.Stamped(" Хранилище объектов недоступно, старые копии в нём не удалены. " + target.Describe({}) + ": " +
                error.what());
    return;
  }
  const std::int64_t now = UtcMsOf(Now()) / 1000;
  TS3Client& client = target.Client();
  for (const std::string& name :
       BackupsToRemove(names, retention.BaseName, retention.JustMade, rule, Now(), ".gbk.zst")) {
    const std::string location = target.Describe(name);
    try {
      const std::int64_t until = std::max(own.at(location), StoreLock(client, name));
      if (until > now) {
        log.Stamped(" Старая копия в хранилище объектов защищена до " + FormatIso8601(LocalDateTimeOf(until * 1000)) +
                    ", не удалена. " + location);
        continue;
      }
      RemoveObject(client, client.Place().ObjectKey(name));
      log.Stamped(" Удалена старая копия в хранилище объектов. " + location);
      RemoveObject(client, client.Place().ObjectKey(OffsiteChecksumName(name)));
    } catch (const std::exception& error) {
      log.Stamped(" Не удалось удалить старую копию в хранилище объектов. " + location + ": " + error.what());
    }
  }
}
