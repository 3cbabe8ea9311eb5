#pragma once
// Whether a gbak backup file holds its backup to the end, judged before a
// restore is asked for.
//
// A restore (server or embedded) that reaches the end of a file that is cut
// short takes it for the first of several volumes: gbak asks the process's
// standard input for the next one and closes the volume's descriptor twice.
// Inside the server the second close can hit a file another job has just
// opened (its backup file, its database), so that job fails or loses data.
// Such a file must never reach the engine.
//
// The judgement walks the file's records as gbak's restore reads them, from
// the header to the end record: a file whose end record is reached is whole
// (whatever gbak's last write left after it), a file that ends inside a
// record or between records is cut short. Anything the walk does not know
// (another format, a record or length it does not expect) is not judged:
// the engine gets the file and says what it finds. What gbak leaves in its
// buffers, or how it sizes its writes, plays no part.

#include <cstdint>
#include <functional>
#include <string>

enum class TBackupFileEnd {
  Complete,  // the end record is there
  CutShort,  // the file stops before its backup's end record
  Unknown,   // not a gbak file this program can walk: let the engine say
};

// `count` bytes (fewer only at the end of the file) from `offset` on. It may
// raise an error to give the judgement up (a job that is stopped).
using TReadAt = std::function<std::string(std::uint64_t offset, std::size_t count)>;

TBackupFileEnd JudgeBackupFile(std::uint64_t size, const TReadAt& read);

// The same for a file this computer can read; Unknown when it cannot.
TBackupFileEnd JudgeBackupFile(const std::string& path);
