#pragma once
// A thread that runs one piece of work for its owner (compressing a copy,
// reading one back) and keeps the error that ended it.

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

class TWorkerThread {
 public:
  TWorkerThread() = default;
  // Joins; the owner makes the work end first (by cancelling its queue).
  ~TWorkerThread();
  TWorkerThread(const TWorkerThread&) = delete;
  TWorkerThread& operator=(const TWorkerThread&) = delete;

  void Start(std::function<void()> work);
  // Waits for the work to end, calling `whileWaiting` between short waits,
  // then joins the thread.
  void Wait(const std::function<void()>& whileWaiting = {});
  // The exception that ended the work, if any.
  std::exception_ptr Error() const;

 private:
  std::thread FThread;
  mutable std::mutex FMutex;
  std::condition_variable FDoneChanged;
  bool FDone = false;
  std::exception_ptr FError;
};
