#pragma once
// The record of a job in progress: a small text file beside the settings file
// ("Quorvin.job"). It is written before the job changes anything, kept up to
// date while the job moves a file aside, shuts its database down and runs its
// request, and removed when the job has ended. A record found at start is a
// job that a crash or a kill cut short; the controller then finishes what it
// left (TRecovery, recovery.h).
//
// It holds the login of the job, password included, since bringing the
// database back on line needs it: the file is readable by its owner only, as
// the settings file, and lives only as long as the job.

#include <cstdint>
#include <optional>
#include <string>

struct TJobRecord {
  // "backup" or "restore".
  std::string Kind;
  // The log stamp of the job's start.
  std::string Started;
  // The database, as the job names it.
  std::string Database;
  // The file the job creates anew: the backup file (none when the backup is
  // made only as a copy on this computer), or the restored database.
  std::string Target;
  // Where an earlier file of Target's name is moved for the time of the job;
  // noted before the rename, so the file may not be there (yet, or again).
  std::string Aside;
  // The job shuts the database down first.
  bool ShutDown = false;
  // The request may have started writing Target.
  bool RequestStarted = false;
  // The request ended well and Target exists: only the clean-up was left.
  bool Succeeded = false;
  std::uint8_t Protocol = 0;
  std::string User;
  std::string Password;

  static constexpr const char* Backup = "backup";
  static constexpr const char* Restore = "restore";

  // The database to bring back on line: the backup's source, the restore's
  // target.
  const std::string& DatabaseToStart() const { return Kind == Restore ? Target : Database; }

  // One "key=value" line per field; "%", CR and LF in values as %25, %0D,
  // %0A.
  std::string Text() const;
  // nullopt for a text that is not a record (no kind, or a restore without
  // a target).
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
  void NoteAside(const std::string& aside);
  void NoteRequestStarted();
  void NoteSucceeded();

 private:
  std::string FPath;
  TJobRecord FRecord;
};
