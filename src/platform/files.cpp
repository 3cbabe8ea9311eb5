#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

std::string IncludeTrailingPathDelimiter(const std::string& path) {
  if (!path.empty() && path.back() == PathDelim) return path;
  return path + PathDelim;
}

std::string ProgramFile() {
  std::vector<char> buf(PATH_MAX);
  for (;;) {
    const ssize_t len = readlink("/proc/self/exe", buf.data(), buf.size());
    if (len < 0) return {};
    if (static_cast<std::size_t>(len) < buf.size()) return std::string(buf.data(), static_cast<std::size_t>(len));
    buf.resize(buf.size() * 2);
  }
}

std::string ProgramDirectory() {
  const std::string exe = ProgramFile();
  if (exe.empty()) return IncludeTrailingPathDelimiter(".");
  const std::size_t slash = exe.rfind(PathDelim);
  return slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

int LookUpError(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0 || errno == ENOENT || errno == ENOTDIR) return 0;
  return errno;
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) { return !path.empty() && mkdir(path.c_str(), 0777) == 0; }

bool DeleteFile(const std::string& path) { return !path.empty() && unlink(path.c_str()) == 0; }

bool WriteAll(int fd, std::string_view data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

namespace {

// Opens with `flags`, writes `text` and closes; every step must succeed.
bool WriteToFile(const std::string& path, int flags, const std::string& text) {
  const int fd = open(path.c_str(), flags | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, text);
  return close(fd) == 0 && written;
}

// One write of the whole of `text`: with O_APPEND it lands after whatever
// others appended, never between their bytes. True when all of it went.
bool WriteOnce(int fd, std::string_view text) {
  ssize_t n = 0;
  do {
    n = write(fd, text.data(), text.size());
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(text.size());
}

bool AppendInOneWrite(const std::string& path, int flags, const std::string& text) {
  const int fd = open(path.c_str(), flags | O_WRONLY | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const bool whole = WriteOnce(fd, text);
  return close(fd) == 0 && whole;
}

}  // namespace

bool CreateTextFile(const std::string& path, const std::string& text) {
  return WriteToFile(path, O_CREAT | O_TRUNC, text);
}

bool AppendToExistingFile(const std::string& path, const std::string& text) { return AppendInOneWrite(path, 0, text); }

bool AppendToFile(const std::string& path, const std::string& text) { return AppendInOneWrite(path, O_CREAT, text); }

bool AppendLine(const std::string& path, const std::string& line) {
  const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::string record;
  record.reserve(line.size() + 2);
  struct stat st {};
  char last = '\n';
  if (fstat(fd, &st) == 0 && st.st_size > 0 && pread(fd, &last, 1, st.st_size - 1) != 1) last = '\n';
  if (last != '\n') record += '\n';
  record += line;
  record += '\n';
  // One write: a record either lands whole or leaves an unfinished last
  // line, which readers skip and the next record steps over.
  const bool whole = WriteOnce(fd, record);
  return close(fd) == 0 && whole;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::vector<std::string>> FilesInFolder(const std::string& folder) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return std::nullopt;
  std::vector<std::string> names;
  const std::string prefix = IncludeTrailingPathDelimiter(folder);
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (FileExists(prefix + name)) names.push_back(name);
  }
  closedir(dir);
  return names;
}

bool WriteFileAtomically(const std::string& path, const std::string& text, unsigned mode) {
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  const bool written = fchmod(fd, static_cast<mode_t>(mode & 07777)) == 0 && WriteAll(fd, text) && fsync(fd) == 0;
  if (close(fd) == 0 && written && rename(temporary.c_str(), path.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

std::optional<std::string> ReadWholeFile(const std::string& path, bool& exists) {
  exists = false;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::string();
    return std::nullopt;
  }
  exists = true;
  std::string content;
  char buf[65536];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      close(fd);
      errno = err;
      return std::nullopt;
    }
    if (n == 0) break;
    content.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return content;
}

std::optional<TFileIdentity> IdentityOf(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return std::nullopt;
  TFileIdentity identity;
  identity.Device = static_cast<std::uint64_t>(st.st_dev);
  identity.Inode = static_cast<std::uint64_t>(st.st_ino);
  identity.Size = static_cast<std::uint64_t>(st.st_size);
  identity.ModifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return identity;
}

std::optional<std::int64_t> CreationTimeNs(const std::string& path) {
  struct statx st {};
  if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &st) != 0 || (st.stx_mask & STATX_BTIME) == 0)
    return std::nullopt;
  return static_cast<std::int64_t>(st.stx_btime.tv_sec) * 1000000000 + st.stx_btime.tv_nsec;
}

bool FolderSearchable(const std::string& folder) {
  return DirectoryExists(folder) && access(folder.c_str(), X_OK) == 0;
}
