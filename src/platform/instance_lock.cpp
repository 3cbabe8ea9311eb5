#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

TInstanceLock::TInstanceLock(const std::string& name) : FPath(SessionPath(name, ".lock")) {}

TInstanceLock::~TInstanceLock() { Release(); }

std::string TInstanceLock::SessionFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') {
    struct stat info {};
    // Only a folder of this user counts, as the runtime folder rules say.
    if (stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid()) return runtime;
  }
  std::error_code error;
  std::string temp = std::filesystem::temp_directory_path(error).string();
  return temp.empty() ? std::string("/tmp") : temp;
}

std::string TInstanceLock::SessionPath(const std::string& name, const std::string& suffix) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string folder = SessionFolder();
  const bool perUser = runtime != nullptr && folder == runtime;
  std::string file = name;
  // A shared temp folder needs the user in the name: one copy per user.
  if (!perUser) file += "-" + std::to_string(getuid());
  return folder + "/" + file + suffix;
}

bool TInstanceLock::Acquire() {
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

void TInstanceLock::Release() {
  if (FHandle < 0) return;
  flock(FHandle, LOCK_UN);
  close(FHandle);
  FHandle = -1;
}
