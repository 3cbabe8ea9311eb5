#include "service/blocking_call.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace {

std::mutex runnerMutex;
TBlockingCallRunner installedRunner;

}  // namespace

void RunBlockingCall(const TBlockingCall& call) {
  TBlockingCallRunner runner;
  {
    std::lock_guard<std::mutex> guard(runnerMutex);
    runner = installedRunner;
  }
  if (runner) {
    runner(call);
  } else {
    call();
  }
}

void SetBlockingCallRunner(TBlockingCallRunner runner) {
  std::lock_guard<std::mutex> guard(runnerMutex);
  installedRunner = std::move(runner);
}

void RunOnHelperThread(const TBlockingCall& call, const std::function<void()>& whileWaiting) {
  std::atomic<bool> done{false};
  std::exception_ptr error;
  std::thread helper([&] {
    try {
      call();
    } catch (...) {
      error = std::current_exception();
    }
    done.store(true, std::memory_order_release);
  });
  while (!done.load(std::memory_order_acquire)) {
    if (whileWaiting) {
      whileWaiting();
    } else {
      std::this_thread::yield();
    }
  }
  helper.join();
  if (error) std::rethrow_exception(error);
}
