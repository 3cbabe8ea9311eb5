#pragma once
// Copies made by gbak on this computer, writing the backup file into a
// named pipe that this program reads: for a Local job the embedded engine's
// gbak, run by its service manager inside this process; for a TCP job
// Firebird's gbak program, reading the database from its server over the
// network. (The embedded service manager refuses a database on another
// server.) Both are several times faster than the backup file streamed by
// the server's service manager, which hands it on a kilobyte at a time.

#include <cstdint>
#include <optional>
#include <string>

#include "runner/local_copy_source.h"
#include "runner/local_copy_writer.h"

class TJobOutput;

// Makes the copy of the job's database into `writer` with gbak on this
// computer, calling `turn` while it waits. False with `refusal` set (empty
// for a protocol gbak here cannot use) when gbak cannot make it here:
// nothing has started then, and the caller streams the copy instead. True
// once the whole backup file has reached `writer`; raises when the backup
// failed.
bool CopyWithGbakHere(const TLocalCopySource& source, TLocalCopyWriter& writer, const TCopyTurn& turn,
                      std::string& refusal, TJobOutput& output);

// gbak's output lines, shown on the pane, and what they say of the outcome.
class TGbakLines {
 public:
  explicit TGbakLines(TJobOutput& output) : FOutput(output) {}
  void Add(const std::string& line);
  // Raises when gbak said it failed, when nothing arrived, or when gbak
  // reports another size of the backup file than `bytesReceived`.
  void Check(std::uint64_t bytesReceived) const;
  const std::string& Failure() const { return FFailure; }

 private:
  TJobOutput& FOutput;
  std::string FFailure;
  std::optional<std::uint64_t> FBytesWritten;
};

// "Firebird X.Y" in a version text of gbak or the client library; empty
// when there is none.
std::string FirebirdVersionIn(const std::string& versionText);
