#include "controller/jobs/temporary_database.h"

#include "platform/file_aside.h"
#include "platform/files.h"
#include "platform/mount_table.h"
#include "platform/text.h"
#include "runner/job_paths.h"
#include "runner/log_pane.h"
#include "service/database_drop.h"

namespace {

constexpr std::size_t LetterCount = 6;

// The folder of a file name with its separator: a backslash in the
// server's notation, else the path separator. Empty when none.
std::string FolderOf(const std::string& name) {
  const std::size_t slash = name.find_last_of(IsServerNotation(name) ? '\\' : PathDelim);
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// What the server answers for a database file that is not there.
bool SaysNoSuchFile(const std::string& error) { return error.find("No such file or directory") != std::string::npos; }

}  // namespace

std::string TemporaryDatabaseName(const std::string& backupFile, std::size_t maxChars) {
  const std::string folder = FolderOf(backupFile);
  // A name without a folder would land in the program's current folder.
  if (folder.empty()) return {};
  for (int attempt = 0; attempt < 20; ++attempt) {
    const std::string letters = RandomLetters(LetterCount);
    for (const std::string& candidate :
         {backupFile + ".verify-" + letters + ".fdb", folder + "verify-" + letters + ".fdb"}) {
      // The job refuses longer names; the shorter one stands in then.
      if (Utf8Length(candidate) <= maxChars && !FileExists(candidate)) return candidate;
    }
  }
  return {};
}

bool IsTemporaryDatabaseOf(const std::string& name, const std::string& backupFile) {
  const auto randomPart = [](const std::string& text) {
    if (text.size() != LetterCount) return false;
    for (char c : text)
      if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    return true;
  };
  const auto matches = [&](const std::string& head) {
    return name.size() == head.size() + LetterCount + 4 && name.compare(0, head.size(), head) == 0 &&
           randomPart(name.substr(head.size(), LetterCount)) && name.compare(name.size() - 4, 4, ".fdb") == 0;
  };
  const std::string folder = FolderOf(backupFile);
  return !folder.empty() && (matches(backupFile + ".verify-") || matches(folder + "verify-"));
}

TRemovalResult RemoveTemporaryDatabase(const std::string& name, TProtocol protocol, const std::string& user,
                                       const std::string& password) {
  const bool seenHere = !IsServerNotation(name) && FolderSearchable(FolderOf(name));
  if (seenHere && !IdentityOf(name)) return {TRemoval::NothingThere, {}};
  if (FileExists(name) && DeleteFile(name)) return {TRemoval::Removed, {}};
  try {
    const TServerPath path = ServerPathOf(name, LocalComputerName(), ReadMountTable());
    DropServerDatabase(path.ServerName.empty() ? LocalComputerName() : path.ServerName, path.LocalPath, protocol, user,
                       password);
    return {TRemoval::Dropped, {}};
  } catch (const std::exception& error) {
    if (SaysNoSuchFile(error.what())) return {TRemoval::NothingThere, {}};
    return {TRemoval::Failed, error.what()};
  }
}
