#pragma once
// A bounded queue of byte chunks between one producing and one consuming
// thread: the side that reads the server never waits on the side that
// compresses or reads the disk, unless the queue is full.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

using TChunk = std::vector<char>;

class TChunkQueue {
 public:
  explicit TChunkQueue(std::size_t capacity) : FCapacity(capacity == 0 ? 1 : capacity) {}

  // Waits while the queue is full, calling `whileWaiting` between short
  // waits. False when the queue was cancelled (the chunk is dropped).
  bool Push(TChunk chunk, const std::function<void()>& whileWaiting = {});
  // Waits for the next chunk, calling `whileWaiting` between short waits;
  // nullopt once the queue is closed and empty, or cancelled.
  std::optional<TChunk> Pop(const std::function<void()>& whileWaiting = {});
  // No more chunks will come; the consumer still takes the queued ones.
  void Close();
  // Both sides stop: queued chunks are dropped, every wait ends.
  void Cancel();
  bool Cancelled() const;

 private:
  // Waits until `ready` holds, in short slices when `whileWaiting` is set.
  template <typename Ready>
  void WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& changed, Ready ready,
               const std::function<void()>& whileWaiting);

  const std::size_t FCapacity;
  mutable std::mutex FMutex;
  std::condition_variable FNotFull;
  std::condition_variable FNotEmpty;
  std::deque<TChunk> FChunks;
  bool FClosed = false;
  bool FCancelled = false;
};
