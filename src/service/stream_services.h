#pragma once
// Backups sent to this computer and restores fed from it. The server's gbak
// writes the backup file to its standard output, which the client reads in
// pieces (isc_info_svc_to_eof), or reads it from its standard input, which the
// client fills whenever the server says how much it wants (isc_info_svc_stdin).
// gbak refuses verbose output on its standard output: a streamed backup
// carries data only; a streamed restore keeps its output lines.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "service/backup_restore_services.h"

// Published information items of the stream queries.
namespace spb {
constexpr uint8_t info_truncated = 2;
constexpr uint8_t info_data_not_ready = 4;
constexpr uint8_t info_svc_to_eof = 63;
constexpr uint8_t info_svc_timeout = 64;
constexpr uint8_t info_svc_stdin = 78;
}  // namespace spb

// The backup file names by which gbak means its standard output and input.
inline constexpr const char* StreamBackupFile = "stdout";
inline constexpr const char* StreamRestoreFile = "stdin";

// Receives the pieces of a streamed backup file in order; the bytes are only
// valid during the call.
using TStreamSink = std::function<void(const char* data, std::size_t size)>;
// Fills at most `capacity` bytes of the restore's input; 0 means the input
// has ended.
using TStreamSource = std::function<std::size_t(char* buffer, std::size_t capacity)>;

// One answer of a stream query, every length checked against the buffer.
struct TStreamAnswer {
  std::vector<std::string_view> Data;  // isc_info_svc_to_eof pieces, in order
  std::vector<std::string> Lines;      // isc_info_svc_line texts (not empty)
  std::uint32_t StdinWanted = 0;       // bytes the server is ready to take now
  // An output item came back empty without "not ready", "timeout" or
  // "truncated" after it: the server has nothing more to send.
  bool OutputDone = false;
};

// The send item that bounds a query's wait on the server to `seconds`.
std::string QueryTimeoutItem(std::uint16_t seconds);

// Parses an answer; anything that does not fit (an unknown item, a length
// past the end) raises client error 95. The views point into `buffer`.
TStreamAnswer ParseStreamAnswer(const char* buffer, std::size_t size);

// A backup whose file arrives on this computer instead of the server's disk.
class TIBBackupStreamService : public TIBBackupService {
 public:
  // Output items per query. The server hands its output on in pieces of
  // about a kilobyte, so more items would bring more per query, but
  // Firebird 3 writes one byte past the end of a full answer buffer for every
  // item after the second: two is the most that never overruns a buffer (ours
  // with the embedded engine, the server's own over TCP).
  static constexpr int ItemsPerQuery = 2;

  TIBBackupStreamService();
  // The start block of a backup to gbak's standard output, never verbose.
  void BuildStartRequest() override;
  // One query; every piece of the backup file it brought goes to `sink`, in
  // order. Returns the bytes received; sets OutputEnded once the file is
  // complete.
  std::size_t ReadStreamPiece(const TStreamSink& sink);
  std::uint64_t BytesReceived() const { return FBytesReceived; }

 private:
  std::uint64_t FBytesReceived = 0;
};

// A restore whose backup file comes from this computer.
class TIBRestoreStreamService : public TIBRestoreService {
 public:
  // Most input bytes one query can carry: the send block's length is 16 bits
  // and holds the item's tag, its length and the end byte besides the data.
  static constexpr std::size_t MaxFeedBytes = 65535 - 4;

  // The start block of a restore from gbak's standard input.
  void BuildStartRequest() override;
  // One query: sends the input the server asked for in the previous answer
  // (taken from `source`), asks for the next output line and for how much
  // input the server wants next. True with `line` set when the answer
  // carried an output line; sets OutputEnded once the output has ended.
  // `timeoutSeconds` > 0 bounds the wait for the line (the query's timeout
  // item), as NextOutputLineWithin does.
  bool FeedAndReadLine(const TStreamSource& source, std::string& line, std::uint16_t timeoutSeconds = 0);
  std::uint64_t BytesSent() const { return FBytesSent; }

 private:
  std::string FeedItems(const TStreamSource& source, std::size_t otherItemBytes);

  std::uint32_t FStdinWanted = 0;
  std::uint64_t FBytesSent = 0;
  std::vector<char> FFeedBuffer;
};
