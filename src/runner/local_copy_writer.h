#pragma once
// The compressed copy of a backup file on this computer. The bytes that
// arrive from the server are handed over in chunks to a thread of its own,
// which compresses them with zstd and writes them under a temporary name in
// the copy's folder, computing the SHA-256 of what it writes. Only a copy
// that is complete and on disk is renamed to its final name, with its
// checksum file beside it; a copy that fails half-way leaves nothing under
// the final names and never touches an older copy.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "runner/chunk_queue.h"
#include "runner/local_copy_info.h"

// Sizes and level, chosen for a server that sends a few tens of megabytes a
// second: compression keeps up with room to spare, and the queue holds a few
// seconds of data so a slow disk does not hold the reader up.
struct TLocalCopyTuning {
  int Level = 3;
  std::size_t ChunkBytes = 256 * 1024;
  std::size_t QueueChunks = 64;
};

// The copy's file name for a backup file name, and its checksum file.
std::string CompressedCopyName(const std::string& backupFileName);
std::string ChecksumFileOf(const std::string& copyPath);

class TLocalCopyWriter {
 public:
  // Creates the temporary file beside `copyPath` and starts the compressing
  // thread. Raises EOSError when the folder does not take the file.
  explicit TLocalCopyWriter(std::string copyPath, TLocalCopyTuning tuning = {});
  // A copy never committed is stopped and its temporary file removed.
  ~TLocalCopyWriter();
  TLocalCopyWriter(const TLocalCopyWriter&) = delete;
  TLocalCopyWriter& operator=(const TLocalCopyWriter&) = delete;

  // Adds bytes of the backup file. Waits only while the queue is full,
  // calling `whileWaiting` meanwhile. Raises the compressing thread's error
  // as soon as it has failed.
  void Write(const char* data, std::size_t size, const std::function<void()>& whileWaiting = {});
  // Finishes the copy: the rest compressed, the file flushed to disk, the
  // checksum file written, both renamed to their final names. Raises (and
  // removes every temporary file) on any failure.
  TLocalCopyInfo Commit(const std::function<void()>& whileWaiting = {});

  const std::string& TemporaryFile() const { return FTemporary; }
  std::uint64_t BytesWritten() const { return FInputBytes; }

 private:
  struct TCompressor;
  void CompressAll();
  [[noreturn]] void RaiseFailure();
  void Stop();

  std::string FCopyPath;
  std::string FTemporary;
  TLocalCopyTuning FTuning;
  int FFile = -1;
  TChunkQueue FQueue;
  TChunk FPending;
  std::uint64_t FInputBytes = 0;
  std::unique_ptr<TCompressor> FCompressor;
  bool FCommitted = false;
};
