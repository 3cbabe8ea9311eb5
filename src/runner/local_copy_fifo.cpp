#include "runner/local_copy_fifo.h"

#include <chrono>
#include <vector>

TLocalCopyFifo::TLocalCopyFifo(TLocalCopyWriter& writer) : FWriter(writer) {
  FThread.Start([this] {
    try {
      ReadAll();
    } catch (...) {
      FFailed = true;
      FFifo.CloseReadEnd();
      throw;
    }
  });
}

TLocalCopyFifo::~TLocalCopyFifo() {
  FStop = true;
  FThread.Wait();
}

void TLocalCopyFifo::ReadAll() {
  // A pipe hands on at most its own capacity per read: 64 kB by default.
  std::vector<char> block(64 * 1024);
  while (!FStop) {
    // Read after the flag: once gbak is known to have ended, what the pipe
    // holds is all there will be.
    const bool writerGone = FWriterGone;
    std::size_t count = 0;
    const TPrivateFifo::TRead result =
        FFifo.Read(block.data(), block.size(), std::chrono::milliseconds(writerGone ? 0 : 100), writerGone, count);
    if (result == TPrivateFifo::TRead::End) return;
    if (result == TPrivateFifo::TRead::Data) {
      FWriter.Write(block.data(), count);
      FBytesRead += count;
    }
  }
}

void TLocalCopyFifo::Finish(const std::function<void()>& whileWaiting) {
  FWriterGone = true;
  FThread.Wait(whileWaiting);
  if (std::exception_ptr error = FThread.Error()) std::rethrow_exception(error);
}
