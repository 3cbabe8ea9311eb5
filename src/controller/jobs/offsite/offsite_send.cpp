#include "controller/jobs/offsite/offsite_send.h"

#include "controller/history/job_history.h"
#include "controller/jobs/offsite/offsite_place.h"
#include "controller/log/operation_log.h"
#include "jobs/offsite/offsite_copy.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/iso_time.h"
#include "runner/job_output.h"
#include "runner/local_copy_reader.h"

namespace {

THistoryRecord OffsiteRecord(const char* by, const std::string& database, const std::string& location) {
  THistoryRecord record;
  record.Start = FormatIso8601(Now());
  record.Kind = HistoryKindOffsite;
  record.By = by;
  record.Database = database;
  record.File = location;
  return record;
}

// The record and the log line of a copy that ended.
void Account(const TOffsiteAccount& account, THistoryRecord& record, const TOffsiteSent& sent) {
  record.End = FormatIso8601(Now());
  record.Outcome = sent.Made ? HistorySuccess : HistoryFailure;
  record.Reason = sent.Reason;
  record.ProtectedUntil = sent.ProtectedUntil;
  if (!AppendHistory(account.HistoryPath, record))
    account.Log.Stamped(" Не удалось записать историю заданий. " + account.HistoryPath);
  account.Log.Stamped(sent.Made ? " Копия в хранилище объектов создана. " + sent.Location
                                : " Копия в хранилище объектов НЕ создана. " + sent.Location + ": " + sent.Reason);
  if (!sent.ProtectedUntil.empty())
    account.Log.Stamped(" Копия в хранилище объектов защищена от удаления до " + sent.ProtectedUntil + ". " +
                        sent.Location);
}

}  // namespace

TOffsiteSent SendOffsiteCopy(TS3Target& target, const TCryptKey* key, const TOffsiteAccount& account,
                             const TDatabaseOptions& db, const TBackupOutcome& made, TJobOutput& output) {
  // The copy is named after the backup file on the server (a copy-only
  // backup's file here already has ".zst").
  std::string backupFile = made.BackFile;
  if (IsCompressedCopy(backupFile)) backupFile.resize(backupFile.size() - 4);
  const TLocalCopySource job = OffsiteJobOf(db, db.DataBase, backupFile, false);
  TOffsiteSent sent;
  sent.Name = OffsiteCopyName(job.Slot[1].FileName);
  sent.Location = target.Describe(sent.Name);
  THistoryRecord record = OffsiteRecord(account.By, db.DataBase, sent.Location);
  try {
    const TOffsiteCopyInfo info = MakeOffsiteCopy(job, target, key, FileSize(made.BackFile).value_or(0), output);
    record.Size = info.Copy.Size;
    record.Sha256 = info.Copy.Sha256;
    record.KeyId = info.KeyId;
    if (info.Copy.RetainUntil > 0) sent.ProtectedUntil = FormatIso8601(LocalDateTimeOf(info.Copy.RetainUntil * 1000));
    sent.Made = true;
  } catch (const std::exception& error) {
    sent.Reason = error.what();
    output.AddPaneLine("ERROR: " + sent.Reason);
  }
  Account(account, record, sent);
  return sent;
}

TOffsiteSent OffsiteNotStarted(const TOffsiteAccount& account, const std::string& database, const std::string& location,
                               const std::string& reason) {
  TOffsiteSent sent;
  sent.Location = location;
  sent.Reason = reason;
  THistoryRecord record = OffsiteRecord(account.By, database, location);
  Account(account, record, sent);
  return sent;
}
