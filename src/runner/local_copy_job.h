#pragma once
// The parts of a job that concern files on this computer: a backup whose
// file arrives here and is kept as a compressed copy, and a restore fed
// from a backup file here. Both write their own section of the log pane and
// keep the window alive while they wait.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "runner/job_paths.h"
#include "runner/local_copy_info.h"
#include "runner/local_copy_reader.h"
#include "runner/local_copy_source.h"
#include "service/stream_services.h"

class TJobOutput;

// The copy of a backup file in a folder of this computer:
// "<folder>/<backup file name>.zst".
std::string LocalCopyPathOf(const std::string& folder, const std::string& backupFileName);

// Whether a restore must send the backup file from this computer: a
// compressed copy always is; a plain backup file is when the database's
// server is not the computer that holds the file (it could not open it).
bool RestoreFedFromThisComputer(const std::string& backupFile, const TServerPath& backup, const TServerPath& database);
// The same for the two files as this computer names them.
bool RestoreFedFromThisComputer(const std::string& backupFile, const std::string& database);

// Makes the compressed copy of the job's backup under `copyPath` the
// fastest way this computer allows: gbak on this computer writing into a
// pipe read here (the embedded engine's for a Local job, Firebird's gbak
// program for a TCP job), else the backup file streamed by the server's
// service manager. Pane: which way, gbak's lines or the bytes received,
// then the sizes, the checksum and "**** COPY COMPLETE ****". Raises on any
// failure; nothing new stands under the copy's names then.
TLocalCopyInfo MakeLocalCopy(const TLocalCopySource& source, const std::string& copyPath, TJobOutput& output);

// The backup file of a restore, read from this computer.
class TRestoreFeed {
 public:
  // Checks the file against its checksum file at once (raising when they
  // do not match): nothing of the job has happened yet. Pane lines go to
  // `output`.
  TRestoreFeed(const std::string& backupFile, TJobOutput& output);

  // Pane lines naming the file and the digest checked, before the server
  // output.
  void ShowSource() const;
  // Starts reading; the source hands the bytes to the restore request.
  void Start();
  TStreamSource Source();
  // Pane line with the bytes sent, after the server output.
  void ShowSent() const;

 private:
  std::unique_ptr<TLocalCopyReader> FReader;
  TJobOutput& FOutput;
  std::string FSha256;
};
