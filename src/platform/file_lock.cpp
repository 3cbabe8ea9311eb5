#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/text.h"

bool TFileLock::Acquire() {
  if (FHandle >= 0) return true;
  const int handle = open(FPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (handle < 0) return false;
  if (flock(handle, LOCK_EX | LOCK_NB) != 0) {
    close(handle);
    return false;
  }
  FHandle = handle;
  return true;
}

void TFileLock::Release() {
  if (FHandle < 0) return;
  // An empty file says nobody holds it any more.
  if (ftruncate(FHandle, 0) != 0) {
    // Only the description is left behind; the lock goes all the same.
  }
  flock(FHandle, LOCK_UN);
  close(FHandle);
  FHandle = -1;
}

void TFileLock::Describe(const std::string& holder) {
  if (FHandle < 0) return;
  if (ftruncate(FHandle, 0) != 0) return;
  const std::string line = holder + "\n";
  if (pwrite(FHandle, line.data(), line.size(), 0) < 0) {
    // The lock holds without its description.
  }
}

std::string TFileLock::Holder(const std::string& path) {
  bool exists = false;
  return Trim(ReadWholeFile(path, exists).value_or(std::string()), " \t\r\n");
}
