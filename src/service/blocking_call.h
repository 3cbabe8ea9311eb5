#pragma once
// The one seam through which every library call that can wait on the server
// (attach, start, query, detach) passes, together with its status check, and
// the helper thread that runners use to keep the calling thread responsive.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// A runner receives the call (library call + status check + raise) and must
// run it exactly once; if the call throws, the same exception must reach the
// runner's caller unchanged (same class, codes and message).
using TBlockingCall = std::function<void()>;
using TBlockingCallRunner = std::function<void(const TBlockingCall& call)>;

// Runs the call through the installed runner (default: directly).
void RunBlockingCall(const TBlockingCall& call);
// Installs a runner; an empty function restores the direct default.
void SetBlockingCallRunner(TBlockingCallRunner runner);

// One long-lived helper thread that runs blocking calls for other threads.
// It is always the same thread, so the client library sees one thread and
// its per-thread status; termination signals are kept away from it (they are
// the calling thread's business). The program's user-interface worker is a
// thin shell over this class that waits in an event loop; tests use it as it
// is.
class TBlockingCallThread {
 public:
  // How the calling thread spends the time until the call has ended.
  struct TWaiting {
    // Waited for quietly first: a call that ends within it costs no turn.
    std::chrono::milliseconds Grace{0};
    // One turn of waiting (pump events, run an event loop …), repeated until
    // the call has ended; between turns the thread sleeps for at most a few
    // milliseconds. Empty: the thread just sleeps until the call has ended.
    std::function<void()> Turn{};
    // Called on the helper thread when the call has ended during a turn, so
    // that a turn which blocks (an event loop) can return.
    std::function<void()> Wake{};
  };

  TBlockingCallThread();
  ~TBlockingCallThread();
  TBlockingCallThread(const TBlockingCallThread&) = delete;
  TBlockingCallThread& operator=(const TBlockingCallThread&) = delete;

  // Runs `call` exactly once on the helper thread and returns when it has
  // ended, rethrowing its exception object itself, if any. Afterwards the
  // program's termination-signal handler is put back where the call replaced
  // it. Called on the helper thread itself, it runs the call directly.
  void Run(const TBlockingCall& call, const TWaiting& waiting);
  // True on the helper thread itself.
  bool IsHelperThread() const { return std::this_thread::get_id() == FThread.get_id(); }

 private:
  struct TTask;
  void Loop();
  void Wait(TTask& task, const TWaiting& waiting);

  std::mutex FMutex;
  std::condition_variable FQueueChanged;
  std::deque<std::shared_ptr<TTask>> FQueue;
  bool FQuit = false;
  std::thread FThread;
};
