#include "platform/durable_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/exception.h"
#include "platform/file_aside.h"
#include "platform/files.h"

void RaiseFileError(const std::string& what, const std::string& path) {
  const int error = errno;
  throw EOSError(error, what + " " + path + ": " + std::strerror(error));
}

int CreateTemporaryBeside(const std::string& path, std::string& temporaryName) {
  std::string pattern = path + ".part-XXXXXX";
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) RaiseFileError("Cannot create a file beside", path);
  temporaryName = pattern;
  return fd;
}

void WriteFully(int fd, const char* data, std::size_t size, const std::string& fileName) {
  if (!WriteAll(fd, std::string_view(data, size))) RaiseFileError("Cannot write", fileName);
}

void SyncAndClose(int fd, const std::string& fileName) {
  if (fsync(fd) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    RaiseFileError("Cannot write", fileName);
  }
  if (close(fd) != 0) RaiseFileError("Cannot write", fileName);
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) RaiseFileError("Cannot open the folder", folder);
  const bool ok = fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot sync a folder
  const int error = errno;
  close(fd);
  errno = error;
  if (!ok) RaiseFileError("Cannot write the folder", folder);
}

void InstallFiles(const std::vector<std::pair<std::string, std::string>>& renames) {
  std::vector<std::pair<std::string, std::string>> asides;  // aside name, original name
  std::vector<std::string> placed;
  const auto undo = [&] {
    const int error = errno;
    for (const std::string& path : placed) unlink(path.c_str());
    for (const auto& [aside, original] : asides) RenameNoReplace(aside, original);
    errno = error;
  };
  try {
    for (const auto& rename : renames) {
      const std::string& to = rename.second;
      if (std::filesystem::exists(std::filesystem::symlink_status(to))) asides.emplace_back(MoveAside(to), to);
    }
  } catch (...) {
    undo();
    throw;
  }
  for (const auto& [from, to] : renames) {
    if (!RenameNoReplace(from, to)) {
      const int error = errno;
      undo();
      errno = error;
      RaiseFileError("Cannot rename " + from + " to", to);
    }
    placed.push_back(to);
  }
  for (const auto& aside : asides) DeleteFile(aside.first);
}

int OpenForReading(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) RaiseFileError("Cannot read", path);
  return fd;
}

std::size_t ReadBlock(int fd, char* data, std::size_t size, const std::string& fileName) {
  for (;;) {
    const ssize_t n = read(fd, data, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) RaiseFileError("Cannot read", fileName);
  }
}

void CloseFile(int fd) {
  if (fd >= 0) close(fd);
}

bool FileUnlinked(int fd) {
  struct stat status {};
  return fstat(fd, &status) == 0 && status.st_nlink == 0;
}
