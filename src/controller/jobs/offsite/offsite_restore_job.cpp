#include "controller/jobs/offsite/offsite_restore_job.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "controller/history/job_history.h"
#include "controller/jobs/offsite/offsite_place.h"
#include "jobs/offsite/offsite_restore.h"
#include "jobs/targets/s3/s3_target.h"
#include "platform/clock.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/iso_time.h"
#include "runner/job_output.h"
#include "storage/s3/s3_place.h"

namespace {

constexpr const char* CopySuffix = ".zst";

bool IsCopy(const TStoredCopy& copy) {
  const std::string& name = copy.Name;
  return name.size() > std::char_traits<char>::length(CopySuffix) &&
         name.compare(name.size() - std::char_traits<char>::length(CopySuffix), std::string::npos, CopySuffix) == 0;
}

// The record of a restore from `source` that ends with `reason` (empty: it
// succeeded).
void AppendRestoreRecord(const std::string& historyPath, const std::string& database, const std::string& source,
                         TDateTime started, const std::string& reason) {
  THistoryRecord record;
  record.Start = FormatIso8601(started);
  record.Kind = HistoryKindRestore;
  record.By = HistoryByUser;
  record.Database = database;
  record.File = source;
  record.End = FormatIso8601(Now());
  record.Outcome = reason.empty() ? HistorySuccess : HistoryFailure;
  record.Reason = reason;
  AppendHistory(historyPath, record);
}

std::string Failed(const std::string& reason, TJobOutput& output) {
  output.AddPaneLine("ERROR: " + reason);
  return reason;
}

}  // namespace

bool IsObjectUrl(const std::string& text) { return text.rfind("s3://", 0) == 0; }

std::vector<TStoredCopy> RestorableCopiesOf(TBackupTarget& target) {
  std::vector<TStoredCopy> copies = target.List();
  std::erase_if(copies, [](const TStoredCopy& copy) { return !IsCopy(copy); });
  // Names with the same time stamp keep a steady order.
  std::sort(copies.begin(), copies.end(), [](const TStoredCopy& a, const TStoredCopy& b) {
    return a.Modified != b.Modified ? a.Modified > b.Modified : a.Name > b.Name;
  });
  return copies;
}

std::string RestoreObject(TBackupTarget& target, const TCryptKey* key, const TDatabaseOptions& db,
                          const TObjectRestore& restore, TJobOutput& output) {
  const std::string source = target.Describe(restore.Name);
  const TDateTime started = Now();
  // Refused before anything is made: nothing of that database is touched.
  if (FileExists(restore.Database)) {
    const std::string reason =
        "the database " + restore.Database + " exists: a restore from object storage makes a new one";
    AppendRestoreRecord(restore.HistoryPath, restore.Database, source, started, reason);
    return Failed(reason, output);
  }
  std::string reason;
  try {
    const std::optional<TStoredCopy> copy = target.Stat(restore.Name);
    if (!copy) throw Exception("There is no object " + source);
    const std::string problem = OffsiteKeyProblem(*copy, key);
    if (!problem.empty()) throw Exception(problem + "; nothing was restored");
    RestoreOffsiteCopy(target, restore.Name, key, OffsiteRestoreOf(db, restore.Database), output);
  } catch (const std::exception& error) {
    reason = Failed(error.what(), output);
    // What the failed restore created is no database: it goes.
    if (FileExists(restore.Database) && DeleteFile(restore.Database))
      output.AddPaneLine("Removed the unfinished database " + restore.Database);
  }
  AppendRestoreRecord(restore.HistoryPath, restore.Database, source, started, reason);
  return reason;
}

std::string RestoreOffsiteObject(const TDatabaseOptions& db, const std::string& objectUrl, const std::string& database,
                                 const std::string& historyPath, TJobOutput& output) {
  const TDateTime started = Now();
  try {
    const TS3ObjectUrl object = ObjectOfUrl(objectUrl);
    TOffsiteSettings place = db.Offsite;
    place.Url = "s3://" + object.Bucket;
    const std::unique_ptr<TS3Target> store = OffsiteTargetOf(place);
    const std::optional<TCryptKey> key = OffsiteKeyOf(db.Offsite);
    // Records its own outcome; raises nothing of the restore itself.
    return RestoreObject(*store, key ? &*key : nullptr, db, {object.Key, database, historyPath}, output);
  } catch (const std::exception& error) {
    AppendRestoreRecord(historyPath, database, objectUrl, started, error.what());
    return Failed(error.what(), output);
  }
}
