#include "platform/instance_lock.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

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
