#pragma once
// An exclusive lock on a file (flock): held until released or until the
// process ends, however it ends (the kernel drops it). The holder may write a
// line into the file saying who holds it, for others to read.

#include <string>

class TFileLock {
 public:
  explicit TFileLock(std::string path) : FPath(std::move(path)) {}
  ~TFileLock() { Release(); }
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;

  // True when this process now holds the lock (also when it held it
  // already). False when another process holds it, and also when the file
  // cannot be opened at all (created readable by its owner only).
  bool Acquire();
  void Release();
  bool Held() const { return FHandle >= 0; }
  const std::string& Path() const { return FPath; }

  // Replaces what the held lock's file says of its holder.
  void Describe(const std::string& holder);
  // What the holder of the lock at `path` wrote; empty when nothing.
  static std::string Holder(const std::string& path);

 private:
  std::string FPath;
  int FHandle = -1;
};
