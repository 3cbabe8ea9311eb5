#pragma once
// The record of a job in progress: a small text file beside the settings file
// ("Quorvin.job"). It is written before the job changes anything, kept up to
// date while the job moves files aside, shuts its database down, runs its
// request and verifies its backup, refreshed every few seconds while the
// request runs (the job's sign of life, with the state of the file it
// writes), and removed when the job has ended. A record found at start is a
// job that a crash or a kill cut short; recovery (recovery/recovery.h) then
// finishes what the job left, touching only what it can prove is that job's
// own unfinished state.
//
// It holds no password: recovery takes the remembered login, or asks.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "service/protocol.h"

// A file the job recreates and where its earlier file is kept meanwhile.
struct TReplacedPair {
  std::string Target;
  // Noted before the rename, so the file may not be there (yet, or again).
  std::string Aside;
  // The earlier file as the rename left it.
  std::optional<TFileIdentity> AsideIdentity;
};

struct TJobRecord {
  // "backup", "restore" or "nbackup".
  std::string Kind;
  // The log stamp of the job's start, and the same moment as the history
  // writes it (ISO 8601; empty in a record of an earlier version).
  std::string Started;
  std::string StartedAt;
  // Who started the job, as the history names it ("user" or "plan").
  std::string By;
  // The settings file the job belongs to.
  std::string Settings;
  // The database, as the job names it.
  std::string Database;
  // The file the job creates anew: the backup file (with "copy only" the
  // copy on this computer), or the restored database.
  std::string Target;
  // A restore's backup file (the history's file of the job).
  std::string Source;
  // Every file the job recreates (the target first, then a copy's files),
  // with its earlier file's place; a copy's temporary files are
  // "<its name>.part-XXXXXX".
  std::vector<TReplacedPair> Replaced;
  // The temporary database of the backup's verification, as this computer
  // names it; empty when none was made (or it is gone again).
  std::string VerifyDatabase;
  // The job shuts the database down first.
  bool ShutDown = false;
  // The request may have started writing Target (the database is shut down
  // when ShutDown).
  bool RequestStarted = false;
  // The request ended well and Target exists: only the clean-up was left.
  bool Succeeded = false;
  // A physical backup's request ended well and Target exists: the server has
  // finished the file and its database's own history lists it, whatever the
  // verification that follows says.
  bool Made = false;
  // The job verifies its backup by a test restore.
  bool Verify = false;
  // When the request started (seconds since 1970; 0 in a record of an
  // earlier version): a file under a target's name that was created before
  // then, or after the job's last sign of life, is not the job's own.
  std::int64_t RequestStart = 0;
  TProtocol Protocol = TProtocol::TCP;
  std::string User;
  // The job's last sign of life (seconds since 1970), and the target's
  // state then.
  std::int64_t Alive = 0;
  std::optional<TFileIdentity> TargetIdentity;

  static constexpr const char* Backup = "backup";
  static constexpr const char* Restore = "restore";
  // A physical (nbackup) backup: it shuts nothing down, but may leave its
  // database in backup mode.
  static constexpr const char* NBackup = "nbackup";

  // The database to bring back on line: the backup's source, the restore's
  // target.
  const std::string& DatabaseToStart() const { return Kind == Restore ? Target : Database; }

  // One "key=value" line per field (lists one line per item); "%", TAB, CR
  // and LF in values as %25, %09, %0D, %0A.
  std::string Text() const;
  // nullopt for a text that is no record of a job (no kind, or a restore
  // without a target). A record of an earlier version (one aside file, a
  // password) reads with its aside as the target's and no password.
  static std::optional<TJobRecord> Parse(const std::string& text);
};

// The record of the one job under way, kept in its file: every change is
// saved at once (a file that cannot be written leaves the job running without
// a record); the file goes with the object, when the job has ended.
class TJobRecordFile {
 public:
  TJobRecordFile(std::string path, TJobRecord record);
  ~TJobRecordFile();
  TJobRecordFile(const TJobRecordFile&) = delete;
  TJobRecordFile& operator=(const TJobRecordFile&) = delete;

  void Save();
  // `target`'s earlier file is about to be renamed to `aside`; then it has
  // been, and stands there as `identity`.
  void NoteAside(const std::string& target, const std::string& aside);
  void NoteAsideMoved(const std::string& aside);
  // A further file the job recreates (a copy's checksum file), before it
  // moves that file's earlier one aside.
  void NoteReplaced(const std::string& target);
  // The request starts: from now on the record is refreshed every few
  // seconds with the job's sign of life and its target's state.
  void NoteRequestStarted();
  void NoteSucceeded();
  // A physical backup's file is finished (see TJobRecord::Made).
  void NoteMade();
  void NoteVerifyDatabase(const std::string& database);

  // How often the sign of life is refreshed.
  static constexpr int AliveSeconds = 2;

 private:
  void SaveLocked();
  void Beat();

  std::string FPath;
  std::mutex FMutex;
  std::condition_variable FWake;
  TJobRecord FRecord;
  bool FEnded = false;
  std::thread FHeart;
};
