#pragma once
// A backup file that gbak writes into a named pipe of this program's own,
// read on a thread of its own and handed to the copy's writer as it comes.
// When the copy fails (a full disk, its folder removed) the thread closes
// the pipe at once, so gbak's next write fails with EPIPE and the backup
// stops instead of running on for nothing.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/private_fifo.h"
#include "runner/local_copy_writer.h"
#include "runner/worker_thread.h"

class TLocalCopyFifo {
 public:
  // Makes the pipe (raising EOSError when it cannot be made; nothing has
  // started then) and starts reading it into `writer`, which must outlive
  // this object.
  explicit TLocalCopyFifo(TLocalCopyWriter& writer);
  // Stops reading; the pipe and its folder go.
  ~TLocalCopyFifo();
  TLocalCopyFifo(const TLocalCopyFifo&) = delete;
  TLocalCopyFifo& operator=(const TLocalCopyFifo&) = delete;

  // The path gbak writes the backup file to.
  const std::string& Path() const { return FFifo.Path(); }

  // gbak has ended, whatever its outcome: takes what is left in the pipe,
  // waits for the reading thread (calling `whileWaiting` meanwhile) and
  // raises its error, if any (the copy's own failure, which caused gbak's).
  void Finish(const std::function<void()>& whileWaiting = {});

  // Any thread: the bytes read so far, and whether reading has failed.
  std::uint64_t BytesRead() const { return FBytesRead; }
  bool Failed() const { return FFailed; }

 private:
  void ReadAll();

  TLocalCopyWriter& FWriter;
  TPrivateFifo FFifo;
  std::atomic<bool> FWriterGone{false};
  std::atomic<bool> FStop{false};
  std::atomic<bool> FFailed{false};
  std::atomic<std::uint64_t> FBytesRead{0};
  TWorkerThread FThread;
};
