#include "runner/chunk_queue.h"

#include <chrono>
#include <utility>

namespace {
// How long a waiting side sleeps before it lets `whileWaiting` run again.
constexpr auto Slice = std::chrono::milliseconds(10);
}  // namespace

template <typename Ready>
void TChunkQueue::WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& changed, Ready ready,
                          const std::function<void()>& whileWaiting) {
  while (!ready()) {
    if (!whileWaiting) {
      changed.wait(lock, ready);
      return;
    }
    if (changed.wait_for(lock, Slice, ready)) return;
    lock.unlock();
    whileWaiting();
    lock.lock();
  }
}

bool TChunkQueue::Push(TChunk chunk, const std::function<void()>& whileWaiting) {
  std::unique_lock<std::mutex> lock(FMutex);
  WaitFor(
      lock, FNotFull, [this] { return FCancelled || FChunks.size() < FCapacity; }, whileWaiting);
  if (FCancelled) return false;
  FChunks.push_back(std::move(chunk));
  FNotEmpty.notify_one();
  return true;
}

std::optional<TChunk> TChunkQueue::Pop(const std::function<void()>& whileWaiting) {
  std::unique_lock<std::mutex> lock(FMutex);
  WaitFor(
      lock, FNotEmpty, [this] { return FCancelled || FClosed || !FChunks.empty(); }, whileWaiting);
  if (FCancelled || FChunks.empty()) return std::nullopt;
  TChunk chunk = std::move(FChunks.front());
  FChunks.pop_front();
  FNotFull.notify_one();
  return chunk;
}

void TChunkQueue::Close() {
  std::lock_guard<std::mutex> guard(FMutex);
  FClosed = true;
  FNotEmpty.notify_all();
}

void TChunkQueue::Cancel() {
  std::lock_guard<std::mutex> guard(FMutex);
  FCancelled = true;
  FChunks.clear();
  FNotEmpty.notify_all();
  FNotFull.notify_all();
}

bool TChunkQueue::Cancelled() const {
  std::lock_guard<std::mutex> guard(FMutex);
  return FCancelled;
}
