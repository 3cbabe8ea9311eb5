#include "controller/jobs/offsite/offsite_send.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <string>
#include <vector>

#include "controller/history/job_history.h"
#include "controller/jobs/offsite/offsite_place.h"
#include "controller/jobs/temporary_database.h"
#include "controller/log/operation_log.h"
#include "jobs/job.h"
#include "jobs/offsite/offsite_copy.h"
#include "jobs/offsite/offsite_restore.h"
#include "platform/clock.h"
#include "platform/exception.h"
#include "platform/file_lock.h"
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

// A copy under way holds a lock file beside the history naming its place,
// its object and, while its test restore runs, the temporary database
// ("<place>\t<name>[\t<database>]"): one found unheld names what a killed
// program left unfinished.
std::string PendingPrefix(const TOffsiteAccount& account) { return account.HistoryPath + ".upload-"; }

class TPendingUpload {
 public:
  TPendingUpload(const TOffsiteAccount& account, const std::string& place, const std::string& name)
      : FLock(PendingPrefix(account) + std::to_string(getpid())) {
    if (FLock.Acquire()) FLock.Describe(FText = place + "\t" + name);
  }
  // The temporary database of the copy's test restore (empty: none now).
  void NoteVerifyDatabase(const std::string& database) {
    FLock.Describe(database.empty() ? FText : FText + "\t" + database);
  }
  // Made or aborted: nothing of the copy is left unfinished.
  ~TPendingUpload() {
    if (FLock.Held()) DeleteFile(FLock.Path());
  }
  TPendingUpload(const TPendingUpload&) = delete;
  TPendingUpload& operator=(const TPendingUpload&) = delete;

 private:
  TFileLock FLock;
  std::string FText;
};

// Removes the temporary database of a copy's test restore; a database that
// stays is named in the log.
void DropVerifyDatabase(const TOffsiteAccount& account, const TDatabaseOptions& db, const std::string& database) {
  const TRemovalResult removal = RemoveTemporaryDatabase(database, JobProtocolOf(db.Protocol), db.User, db.Pass);
  if (removal.Outcome == TRemoval::Failed)
    account.Log.Stamped(" Временная база данных проверки не удалена: " + database + ". " + removal.Error);
}

// Restores the copy just made into a temporary database and removes it
// again: a copy that cannot be restored is no copy. Raises why it failed.
void RestoreFromTheCopy(TBackupTarget& target, const TCryptKey* key, const TOffsiteAccount& account,
                        const TDatabaseOptions& db, const std::string& backupFile, const std::string& name,
                        TPendingUpload& pending, TJobOutput& output) {
  const std::string database = TemporaryDatabaseName(backupFile, FileNameChars);
  if (database.empty()) throw Exception("There is no name for a temporary database beside " + backupFile);
  pending.NoteVerifyDatabase(database);
  std::exception_ptr failure;
  try {
    RestoreOffsiteCopy(target, name, key, OffsiteRestoreOf(db, database), output);
  } catch (...) {
    failure = std::current_exception();
  }
  DropVerifyDatabase(account, db, database);
  pending.NoteVerifyDatabase({});
  if (failure) std::rethrow_exception(failure);
}

// Aborts the unfinished upload that one cut-short copy left, when it went to
// the same place as this one (the keys of another place are not at hand: the
// log names its leftover for the administrator). True when done with it.
bool DropInterruptedUpload(TBackupTarget& target, const TOffsiteAccount& account, const TDatabaseOptions& db,
                           const std::string& holder) {
  std::vector<std::string> fields;
  for (std::size_t at = 0; at <= holder.size();) {
    const std::size_t tab = std::min(holder.find('\t', at), holder.size());
    fields.push_back(holder.substr(at, tab - at));
    at = tab + 1;
  }
  const std::string place = fields.empty() ? std::string() : fields[0];
  const std::string name = fields.size() > 1 ? fields[1] : std::string();
  // A test restore cut short: its temporary database goes first.
  if (fields.size() > 2) DropVerifyDatabase(account, db, fields[2]);
  if (place != target.Describe("") || name.empty()) {
    account.Log.Stamped(" Копия в хранилище объектов была прервана, её незавершённая загрузка осталась: " + place +
                        name);
    return true;
  }
  try {
    if (target.DropUnfinished(name) + target.DropUnfinished(OffsiteChecksumName(name)) > 0)
      account.Log.Stamped(" Незавершённая загрузка прерванной копии удалена из хранилища объектов. " +
                          target.Describe(name));
    return true;
  } catch (const std::exception& error) {
    // Tried again at the next copy.
    account.Log.Stamped(" Незавершённая загрузка прерванной копии не удалена: " + std::string(error.what()));
    return false;
  }
}

void DropInterruptedUploads(TBackupTarget& target, const TOffsiteAccount& account, const TDatabaseOptions& db) {
  const std::string prefix = PendingPrefix(account);
  const std::size_t slash = prefix.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : prefix.substr(0, slash);
  const std::string start = prefix.substr(slash + 1);
  for (const std::string& file : FilesInFolder(folder).value_or(std::vector<std::string>())) {
    if (file.rfind(start, 0) != 0) continue;
    TFileLock lock(folder + "/" + file);
    // Held: a copy of another program under way.
    if (!lock.Acquire()) continue;
    if (DropInterruptedUpload(target, account, db, TFileLock::Holder(lock.Path()))) DeleteFile(lock.Path());
  }
}

}  // namespace

TOffsiteSent SendOffsiteCopy(TS3Target& target, const TCryptKey* key, const TOffsiteAccount& account,
                             const TDatabaseOptions& db, const TBackupOutcome& made, TJobOutput& output) {
  // The copy is named after the backup file on the server (a copy-only
  // backup's file here already has ".zst").
  std::string backupFile = made.BackFile;
  if (IsCompressedCopy(backupFile)) backupFile.resize(backupFile.size() - 4);
  const TLocalCopySource job = OffsiteJobOf(db, db.DataBase, backupFile);
  TOffsiteSent sent;
  sent.Name = OffsiteCopyName(job.BackupFile.FileName);
  sent.Location = target.Describe(sent.Name);
  THistoryRecord record = OffsiteRecord(account.By, db.DataBase, sent.Location);
  DropInterruptedUploads(target, account, db);
  TPendingUpload pending(account, target.Describe(""), sent.Name);
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
  if (sent.Made && db.VerifyBackup) {
    const auto started = std::chrono::steady_clock::now();
    try {
      RestoreFromTheCopy(target, key, account, db, backupFile, sent.Name, pending, output);
      output.AddPaneLine("The off-site copy " + sent.Location + " was restored into a temporary database: it is sound");
    } catch (const std::exception& error) {
      // The object stays (it is a copy all the same), but no copy made.
      sent.Made = false;
      sent.Reason =
          "The off-site copy " + sent.Location + " could not be restored (it stays in the bucket): " + error.what();
      output.AddPaneLine("ERROR: " + sent.Reason);
    }
    record.VerifySeconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started).count();
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
