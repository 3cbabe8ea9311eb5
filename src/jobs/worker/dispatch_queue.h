#pragma once
// Work for the front end's thread. A job runs on a thread of its own; what it
// tells the front end (pane lines, boxes, questions, its end) runs on the
// front end's thread, posted there in order. A front end with an event loop
// (the window) posts into that loop; one without (the command line, tests)
// lets the core keep this queue and runs it while it waits.

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>

// Runs `work` later on the front end's thread; calls keep their order.
using TPost = std::function<void(std::function<void()> work)>;

class TDispatchQueue {
 public:
  TDispatchQueue();
  ~TDispatchQueue();
  TDispatchQueue(const TDispatchQueue&) = delete;
  TDispatchQueue& operator=(const TDispatchQueue&) = delete;

  // From any thread.
  void Post(std::function<void()> work);
  TPost Poster() {
    return [this](std::function<void()> work) { Post(std::move(work)); };
  }
  // On the front end's thread: runs what was posted so far, and what that
  // posts in turn; true when anything ran.
  bool RunPending();
  // Waits until something is posted or `timeout` has passed, then runs it.
  void WaitAndRun(std::chrono::milliseconds timeout);
  // Readable while something waits to be run: a loop that polls other
  // descriptors (the command line's signals) polls this one too.
  int WakeFd() const { return FWakeFd; }

 private:
  void Drain();

  std::mutex FMutex;
  std::deque<std::function<void()>> FWork;
  int FWakeFd = -1;
};
