#include "runner/worker_thread.h"

#include <chrono>
#include <utility>

TWorkerThread::~TWorkerThread() {
  if (FThread.joinable()) FThread.join();
}

void TWorkerThread::Start(std::function<void()> work) {
  FThread = std::thread([this, work = std::move(work)] {
    std::exception_ptr error;
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard<std::mutex> guard(FMutex);
    FError = error;
    FDone = true;
    FDoneChanged.notify_all();
  });
}

void TWorkerThread::Wait(const std::function<void()>& whileWaiting) {
  if (!FThread.joinable()) return;
  std::unique_lock<std::mutex> lock(FMutex);
  while (!FDone) {
    if (FDoneChanged.wait_for(lock, std::chrono::milliseconds(10), [this] { return FDone; })) break;
    if (whileWaiting) {
      lock.unlock();
      whileWaiting();
      lock.lock();
    }
  }
  lock.unlock();
  FThread.join();
}

std::exception_ptr TWorkerThread::Error() const {
  std::lock_guard<std::mutex> guard(FMutex);
  return FError;
}
