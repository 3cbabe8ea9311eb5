#include "jobs/worker/dispatch_queue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

TDispatchQueue::TDispatchQueue() : FWakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TDispatchQueue::~TDispatchQueue() {
  if (FWakeFd >= 0) close(FWakeFd);
}

void TDispatchQueue::Post(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> guard(FMutex);
    FWork.push_back(std::move(work));
  }
  const std::uint64_t one = 1;
  if (FWakeFd >= 0 && write(FWakeFd, &one, sizeof one) < 0) {
    // The counter is full: the reader is woken already.
  }
}

void TDispatchQueue::Drain() {
  std::uint64_t count = 0;
  if (FWakeFd >= 0 && read(FWakeFd, &count, sizeof count) < 0) {
    // Nothing to read: nobody posted since the last drain.
  }
}

bool TDispatchQueue::RunPending() {
  Drain();
  bool ran = false;
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard<std::mutex> guard(FMutex);
      if (FWork.empty()) return ran;
      work = std::move(FWork.front());
      FWork.pop_front();
    }
    // Run unlocked: the work may post more, or wait for a job that posts.
    work();
    ran = true;
  }
}

void TDispatchQueue::WaitAndRun(std::chrono::milliseconds timeout) {
  {
    std::lock_guard<std::mutex> guard(FMutex);
    if (!FWork.empty()) timeout = std::chrono::milliseconds(0);
  }
  if (FWakeFd >= 0 && timeout.count() > 0) {
    pollfd wait{FWakeFd, POLLIN, 0};
    poll(&wait, 1, static_cast<int>(timeout.count()));
  }
  RunPending();
}
