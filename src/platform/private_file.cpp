#include "platform/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/durable_file.h"
#include "platform/exception.h"

namespace {

constexpr std::size_t MaxPrivateFileBytes = 64 * 1024;

std::string ModeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

}  // namespace

std::string ReadPrivateFile(const std::string& path, const std::string& what) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) RaiseFileError("Cannot open the " + what, path);
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    const int error = errno;
    CloseFile(fd);
    throw EOSError(error, "Cannot examine the " + what + " " + path + ": " + std::strerror(error));
  }
  if (!S_ISREG(info.st_mode)) {
    CloseFile(fd);
    throw EOSError(0, "The " + what + " " + path + " is not a regular file");
  }
  if ((info.st_mode & 077) != 0) {
    CloseFile(fd);
    throw EOSError(0, "The " + what + " " + path + " can be used by others than its owner (mode " +
                          ModeText(info.st_mode) + "); make it its owner's only: chmod 600 " + path);
  }
  std::string content(MaxPrivateFileBytes + 1, '\0');
  std::size_t length = 0;
  try {
    for (std::size_t n;
         length < content.size() && (n = ReadBlock(fd, content.data() + length, content.size() - length, path)) > 0;) {
      length += n;
    }
  } catch (...) {
    CloseFile(fd);
    throw;
  }
  CloseFile(fd);
  if (length > MaxPrivateFileBytes) throw EOSError(0, "The " + what + " " + path + " is too large to be one");
  content.resize(length);
  return content;
}
