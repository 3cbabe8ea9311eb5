#pragma once
// One copy of the program per user session: an exclusive lock on a file named
// after the lock's name, in the user's runtime folder ($XDG_RUNTIME_DIR) or,
// without one, in the temp folder with the user id in the file name. The
// kernel drops the lock when the process ends, however it ends.

#include <string>

#include "platform/file_lock.h"

class TInstanceLock {
 public:
  explicit TInstanceLock(const std::string& name) : FLock(SessionPath(name, ".lock")) {}
  TInstanceLock(const TInstanceLock&) = delete;
  TInstanceLock& operator=(const TInstanceLock&) = delete;

  // True when this process now holds the lock. False when another process
  // holds it, and also when the lock file cannot be opened at all.
  bool Acquire() { return FLock.Acquire(); }
  // Gives the lock up (also done by the destructor).
  void Release() { FLock.Release(); }
  bool Held() const { return FLock.Held(); }

  // The per-user folder for the lock and its companions, and the path of a
  // file there named after `name` (+ `suffix`).
  static std::string SessionFolder();
  static std::string SessionPath(const std::string& name, const std::string& suffix);

  const std::string& Path() const { return FLock.Path(); }

 private:
  TFileLock FLock;
};
