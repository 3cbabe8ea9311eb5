#include "service/blocking_call.h"

#include <exception>
#include <utility>

#include "platform/process_signals.h"

namespace {

std::mutex RunnerMutex;
TBlockingCallRunner InstalledRunner;

// Between turns of waiting the caller sleeps until the call ends or this
// slice has passed: a server silent for minutes must not cost a whole
// processor core.
constexpr auto WaitSlice = std::chrono::milliseconds(5);

}  // namespace

void RunBlockingCall(const TBlockingCall& call) {
  TBlockingCallRunner runner;
  {
    std::lock_guard<std::mutex> guard(RunnerMutex);
    runner = InstalledRunner;
  }
  if (runner) {
    runner(call);
  } else {
    call();
  }
}

void SetBlockingCallRunner(TBlockingCallRunner runner) {
  std::lock_guard<std::mutex> guard(RunnerMutex);
  InstalledRunner = std::move(runner);
}

struct TBlockingCallThread::TTask {
  const TBlockingCall* Call = nullptr;
  std::exception_ptr Error;
  bool Done = false;
  // Set while the caller is inside a turn: the helper then calls Wake.
  const std::function<void()>* Wake = nullptr;
  std::condition_variable Finished;
};

TBlockingCallThread::TBlockingCallThread() : FThread([this] { Loop(); }) {}

TBlockingCallThread::~TBlockingCallThread() {
  {
    std::lock_guard<std::mutex> guard(FMutex);
    FQuit = true;
  }
  FQueueChanged.notify_all();
  FThread.join();
}

void TBlockingCallThread::Loop() {
  // A call waiting in the client library here is not interrupted by a
  // termination signal (nor are the threads the library starts from here).
  TTerminationSignals::BlockInThisThread();
  for (;;) {
    std::shared_ptr<TTask> task;
    {
      std::unique_lock<std::mutex> lock(FMutex);
      FQueueChanged.wait(lock, [this] { return FQuit || !FQueue.empty(); });
      if (FQueue.empty()) return;
      task = FQueue.front();
      FQueue.pop_front();
    }
    std::exception_ptr error;
    try {
      (*task->Call)();
    } catch (...) {
      error = std::current_exception();
    }
    // Under the lock: the caller, and with it the Wake function, stays until
    // it has seen Done.
    std::lock_guard<std::mutex> guard(FMutex);
    task->Error = error;
    task->Done = true;
    task->Finished.notify_all();
    if (task->Wake != nullptr && *task->Wake) (*task->Wake)();
  }
}

void TBlockingCallThread::Wait(TTask& task, const TWaiting& waiting) {
  std::unique_lock<std::mutex> lock(FMutex);
  task.Finished.wait_for(lock, waiting.Grace, [&] { return task.Done; });
  while (!task.Done) {
    if (waiting.Turn) {
      task.Wake = &waiting.Wake;
      lock.unlock();
      waiting.Turn();
      lock.lock();
      task.Wake = nullptr;
    }
    task.Finished.wait_for(lock, WaitSlice, [&] { return task.Done; });
  }
}

void TBlockingCallThread::Run(const TBlockingCall& call, const TWaiting& waiting) {
  // A call the helper makes itself would wait for itself.
  if (IsHelperThread()) {
    call();
    return;
  }
  auto task = std::make_shared<TTask>();
  task->Call = &call;
  {
    std::lock_guard<std::mutex> guard(FMutex);
    FQueue.push_back(task);
  }
  FQueueChanged.notify_all();
  Wait(*task, waiting);
  // The client library puts its own signal handler in place when it is
  // first used; a termination signal must reach the program's own, which
  // lets a job run to its end before the program closes.
  TTerminationSignals::Reclaim();
  if (task->Error) std::rethrow_exception(task->Error);
}
