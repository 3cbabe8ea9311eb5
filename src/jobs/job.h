#pragma once
// What one backup, restore or repair job is: its kind, its files, its login,
// its switches and what is done around its request. It does nothing itself:
// the runner (jobs/job_runner.h) runs it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/fixed_text.h"
#include "jobs/job_kind.h"
#include "service/protocol.h"
#include "service/service_options.h"

// Capacities of the text fields, in characters.
inline constexpr std::size_t ShortTextChars = 40;
inline constexpr std::size_t FileNameChars = 80;

// A file the job names (as this computer names it), FileNameChars
// characters at most. A longer name is not kept shortened: a shortened path
// could name another file (a restore with Replace would overwrite it). It
// reads empty and the runner refuses the job, naming it in full.
class TJobFileName {
 public:
  std::string Get() const { return FName.Get(); }
  void Set(std::string_view value);
  // The full name that did not fit; empty when the name fitted.
  const std::string& Refused() const { return FRefused; }

 private:
  TFixedText<FileNameChars> FName;
  std::string FRefused;
};

// Where a backup goes besides its file on the server.
struct TBackupDestination {
  // A compressed copy is also kept in this folder of this computer
  // ("<backup file name>.zst" with "<…>.zst.sha256" beside it), streamed
  // from the server after the request that writes the file there. Empty: no
  // copy.
  std::string LocalCopyDir;
  // Only the copy on this computer: no backup file on the server.
  bool LocalCopyOnly = false;
};

struct TJob {
  TJobKind Kind = TJobKind::Backup;
  // Texts longer than ShortTextChars characters are kept as their first
  // ShortTextChars characters.
  TFixedText<ShortTextChars> Name{"New job"};
  TFixedText<ShortTextChars> UserName;
  TFixedText<ShortTextChars> Password;
  TProtocol Protocol = TProtocol::Local;

  // The database backed up, repaired or restored into.
  TJobFileName Database;
  // The backup file written or restored from; for a physical restore the
  // last file of its chain (the job's header names it).
  TJobFileName BackupFile;
  // The files of a physical restore, level 0 first (FileNameChars
  // characters at most each; on the server of the database).
  std::vector<std::string> ChainFiles;
  // The level of a physical backup.
  std::int32_t Level = 0;

  // The switches of the job's kind (the others' are not looked at).
  TBackupOptions BackupOptions;
  TRestoreOptions RestoreOptions;
  TValidateOptions RepairOptions;

  // Shut the database down before the request and bring it back on line
  // after it.
  bool StopDatabase = true;
  // Append an account of the job to "Schedule.log" beside the executable.
  bool WriteJobLog = true;
  // Also copy the server's output lines into the job log.
  bool VerboseJobLog = false;
  // Leaves the pane's earlier lines in place: a job that follows another
  // one as a further section of the same account.
  bool KeepPane = false;

  // A backup's copy on this computer (other kinds make none).
  TBackupDestination Destination;
};

// A restore, logical or physical: the job makes its database anew from the
// backup file.
bool RestoresDatabase(const TJob& job);

// The file the job reads (the database of a backup or repair, the backup
// file of a restore) and the one it writes (a repair: none).
const TJobFileName& SourceOf(const TJob& job);
const TJobFileName& TargetOf(const TJob& job);

// The settings' stored protocol (−1 none chosen, 0 TCP, 1 SPX, 2 Named
// Pipes, 3 Local) as a job's. None chosen passes on as a value no service
// manager name is made for: the job's first request fails at its attach, as
// it always has.
TProtocol JobProtocolOf(std::int32_t stored);
