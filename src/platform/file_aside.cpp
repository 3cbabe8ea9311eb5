#include "platform/file_aside.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "platform/exception.h"
#include "platform/folder_rights.h"

namespace {

[[noreturn]] void RaiseRename(const std::string& from, const std::string& to, int error) {
  throw EOSError(error, RenameErrorText("Cannot rename " + from + " to " + to, error, to));
}

}  // namespace

std::string RenameErrorText(const std::string& what, int error, const std::string& to) {
  std::string text = what + ": " + std::strerror(error);
  if (error == EACCES || error == EPERM || error == EROFS) {
    const std::string refused = RefusedFolderRight(FolderOf(to), TFolderNeed::Write);
    if (!refused.empty()) text += ". " + refused;
  }
  return text;
}

std::string RandomLetters(std::size_t count) {
  static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  static std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += letters[pick(generator)];
  return text;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without the no-replace rename: a hard link fails on an
  // existing name just as surely; then the old name goes.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  if (unlink(from.c_str()) != 0) {
    const int error = errno;
    unlink(to.c_str());
    errno = error;
    return false;
  }
  return true;
}

std::string MoveAside(const std::string& path, const std::function<void(const std::string& aside)>& beforeRename) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string aside = path + ".aside-" + RandomLetters(8);
    if (beforeRename) beforeRename(aside);
    if (RenameNoReplace(path, aside)) return aside;
    if (errno != EEXIST) RaiseRename(path, aside, errno);
  }
  RaiseRename(path, path + ".aside-*", EEXIST);
}

std::string MoveToFreeName(const std::string& path, const std::string& wanted) {
  for (int n = 1; n < 1000; ++n) {
    const std::string name = n == 1 ? wanted : wanted + "." + std::to_string(n);
    if (RenameNoReplace(path, name)) return name;
    if (errno != EEXIST) RaiseRename(path, name, errno);
  }
  RaiseRename(path, wanted, EEXIST);
}
