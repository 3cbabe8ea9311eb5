#pragma once
// Whether a gbak backup file ends where its backup ends, judged from its
// first and last blocks before a restore is asked for.
//
// A restore (server or embedded) that reaches the end of a file that is cut
// short takes it for the first of several volumes: gbak asks the process's
// standard input for the next one and closes the volume's descriptor twice.
// Inside the server the second close can hit a file another job has just
// opened (its backup file, its database), so that job fails or loses data.
// Such a file must never reach the engine.
//
// What a file written by Firebird 3 gbak looks like (format 10): a header
// record (byte 0, then attributes "id, length, value" up to a 0 byte) that
// names the format (id 2) and the size of gbak's write buffer (id 6); then
// the records, the last one the one-byte end record 10. gbak writes whole
// buffers; the last write is the rest of the buffer rounded up, so after the
// end record the file holds only what the buffer held before: zeros in the
// first buffer, else the bytes of the previous write at the same place.

#include <cstdint>
#include <functional>
#include <string>

enum class TBackupFileEnd {
  Complete,  // the end record is in the last write
  CutShort,  // the file stops before its backup's end record
  Unknown,   // not a format-10 gbak file that can be judged: let the engine say
};

// `count` bytes (fewer only at the end of the file) from `offset` on.
using TReadAt = std::function<std::string(std::uint64_t offset, std::size_t count)>;

TBackupFileEnd JudgeBackupFile(std::uint64_t size, const TReadAt& read);

// The same for a file this computer can read; Unknown when it cannot.
TBackupFileEnd JudgeBackupFile(const std::string& path);
