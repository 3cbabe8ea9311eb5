#include "service/blocking_call.h"

#include <chrono>
#include <condition_variable>
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
  std::mutex doneMutex;
  std::condition_variable doneChanged;
  bool done = false;
  std::exception_ptr error;
  std::thread helper([&] {
    try {
      call();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard<std::mutex> guard(doneMutex);
    done = true;
    doneChanged.notify_all();
  });
  // Between turns of `whileWaiting` the caller sleeps until the call ends or
  // a short slice has passed: a server silent for minutes must not cost a
  // whole processor core.
  constexpr auto kSlice = std::chrono::milliseconds(5);
  std::unique_lock<std::mutex> lock(doneMutex);
  while (!done) {
    if (whileWaiting) {
      lock.unlock();
      whileWaiting();
      lock.lock();
    }
    doneChanged.wait_for(lock, kSlice, [&] { return done; });
  }
  lock.unlock();
  helper.join();
  if (error) std::rethrow_exception(error);
}
