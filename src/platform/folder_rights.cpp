#include "platform/folder_rights.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

// The rights `need` takes, as access() and the mode's bits (rwx) count them.
int AccessMask(TFolderNeed need) {
  switch (need) {
    case TFolderNeed::Enter: return X_OK;
    case TFolderNeed::Write: return W_OK | X_OK;
    case TFolderNeed::Everything: return R_OK | W_OK | X_OK;
  }
  return X_OK;
}

const char* NeedWords(TFolderNeed need) {
  switch (need) {
    case TFolderNeed::Enter: return "enter it";
    case TFolderNeed::Write: return "write in it";
    case TFolderNeed::Everything: return "read, write and enter it";
  }
  return "enter it";
}

std::string UserName(uid_t uid) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) return entry.pw_name;
  return std::to_string(uid);
}

std::string GroupName(gid_t gid) {
  std::vector<char> buffer(16384);
  group entry{};
  group* found = nullptr;
  if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) return entry.gr_name;
  return std::to_string(gid);
}

// This process's groups, its effective one first.
std::vector<gid_t> ProcessGroups() {
  std::vector<gid_t> groups{getegid()};
  const int count = getgroups(0, nullptr);
  std::vector<gid_t> more(static_cast<std::size_t>(std::max(count, 0)));
  if (count > 0 && getgroups(count, more.data()) == count)
    for (gid_t gid : more)
      if (std::find(groups.begin(), groups.end(), gid) == groups.end()) groups.push_back(gid);
  return groups;
}

// Who the folder's mode gives the rights to, for the sentence's end.
std::string WhoMay(const struct stat& info, TFolderNeed need, const std::vector<gid_t>& groups) {
  const auto grants = [&](int shift) {
    const unsigned bits = static_cast<unsigned>(AccessMask(need));
    return ((info.st_mode >> shift) & bits) == bits;
  };
  const bool member = std::find(groups.begin(), groups.end(), info.st_gid) != groups.end();
  if (grants(3) && !member) return "members of group " + GroupName(info.st_gid) + " may";
  if (grants(6) && info.st_uid != geteuid()) return "only its owner " + UserName(info.st_uid) + " may";
  if (!grants(6) && !grants(3) && !grants(0)) return "its mode gives that right to no one";
  return {};
}

std::string Describe(const std::string& folder, TFolderNeed need, int error) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) return {};
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
  const std::vector<gid_t> groups = ProcessGroups();
  std::string names;
  for (gid_t gid : groups) names += (names.empty() ? "" : ", ") + GroupName(gid);
  std::string text = "The folder " + folder + " (owner " + UserName(info.st_uid) + ", group " + GroupName(info.st_gid) +
                     ", mode " + mode + ") does not let user " + UserName(geteuid()) + " (groups " + names + ") " +
                     NeedWords(need);
  const std::string who = error == EROFS ? std::string("its file system is read-only") : WhoMay(info, need, groups);
  return text + (who.empty() ? "." : "; " + who + ".");
}

// The refusal of `need` on `folder` itself, or 0.
int Refusal(const std::string& folder, TFolderNeed need) {
  if (faccessat(AT_FDCWD, folder.c_str(), AccessMask(need), AT_EACCESS) == 0) return 0;
  return errno;
}

}  // namespace

std::string RefusedFolderRight(const std::string& folder, TFolderNeed need) {
  std::error_code failed;
  std::filesystem::path whole = std::filesystem::absolute(folder, failed).lexically_normal();
  if (failed) return {};
  if (!whole.has_filename()) whole = whole.parent_path();  // "/tmp/firebird/"
  // Every folder above it must be entered first: the first to refuse is
  // the one to name.
  std::filesystem::path way;
  for (const std::filesystem::path& part : whole) {
    way /= part;
    if (way == whole || way == way.root_path()) continue;
    const int error = Refusal(way.string(), TFolderNeed::Enter);
    if (error == EACCES) return Describe(way.string(), TFolderNeed::Enter, error);
    if (error != 0) return {};
  }
  const int error = Refusal(whole.string(), need);
  if (error != EACCES && error != EROFS) return {};
  return Describe(whole.string(), need, error);
}

int FolderRefusal(const std::string& folder, TFolderNeed need) { return Refusal(folder, need); }

int ReadWriteRefusal(const std::string& file) {
  return faccessat(AT_FDCWD, file.c_str(), R_OK | W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

std::string FolderOf(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}
