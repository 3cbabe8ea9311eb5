#pragma once
// Reading a backup file on this computer back for a restore: a compressed
// copy ("….gbk.zst") is checked against its checksum file before anything
// else happens, then decompressed on a thread of its own while the restore
// takes the bytes; a plain backup file is read as it is.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "runner/chunk_queue.h"
#include "runner/local_copy_writer.h"

// Whether the file is a compressed copy (its name ends in ".zst", any case).
bool IsCompressedCopy(const std::string& path);

// The digest a checksum file gives; nullopt when it cannot be read or is not
// of the form sha256sum writes.
std::optional<std::string> ReadChecksumFile(const std::string& checksumFile);

// How a backup file compares with its checksum file.
struct TChecksumCheck {
  enum TOutcome { Matches, NoChecksumFile, Missing, Unreadable, Differs };
  TOutcome Outcome = Matches;
  // The digest that matched (Matches), or the file's own (Differs).
  std::string Digest;
  // Missing, Unreadable, Differs: why, in the words of the operation log.
  std::string Reason;
  // The copy cannot be trusted: nothing may be restored from it.
  bool Refused() const { return Outcome == Missing || Outcome == Unreadable || Outcome == Differs; }
};

class TLocalCopyReader {
 public:
  explicit TLocalCopyReader(std::string path, TLocalCopyTuning tuning = {});
  // Stops the reading thread.
  ~TLocalCopyReader();
  TLocalCopyReader(const TLocalCopyReader&) = delete;
  TLocalCopyReader& operator=(const TLocalCopyReader&) = delete;

  // Checks the file against "<file>.sha256": a compressed copy must have
  // one, a plain backup file is checked when it has one. Returns the digest
  // that matched (empty when a plain file has no checksum file). Raises with
  // a message naming both files when they do not match, or when the
  // checksum file is missing or unreadable. `afterBlock` runs between
  // blocks of the file.
  std::string VerifyChecksum(const std::function<void()>& afterBlock = {});
  // The same comparison, told instead of raised (a plain file without a
  // checksum file: NoChecksumFile). Raises only when the file cannot be read.
  TChecksumCheck CheckChecksum(const std::function<void()>& afterBlock = {}) const;

  // Opens the file and starts reading it on a thread of its own. Raises
  // EOSError when it cannot be opened.
  void Start();
  // Up to `capacity` bytes of the backup file (decompressed); 0 at its
  // end. Waits for the reading thread, calling `whileWaiting` meanwhile;
  // raises the thread's error (a damaged or cut-short copy, a read error).
  std::size_t Read(char* buffer, std::size_t capacity, const std::function<void()>& whileWaiting = {});

  const std::string& Path() const { return FPath; }
  std::uint64_t BytesDelivered() const { return FDelivered; }

 private:
  struct TReading;
  void ReadAll(int fd);

  std::string FPath;
  TLocalCopyTuning FTuning;
  TChunkQueue FQueue;
  TChunk FCurrent;
  std::size_t FCurrentAt = 0;
  std::uint64_t FDelivered = 0;
  bool FEnded = false;
  std::unique_ptr<TReading> FReading;
};
