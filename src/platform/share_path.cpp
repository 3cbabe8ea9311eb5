#include "platform/share_path.h"

#include <filesystem>
#include <system_error>

#include "platform/computer_name.h"
#include "platform/text.h"

namespace {

bool IsThisComputer(const std::string& server, const std::string& thisComputer) {
  const std::string name = AsciiLower(server);
  return name.empty() || name == AsciiLower(thisComputer) || name == "localhost" || name == "127.0.0.1" ||
         name == "::1";
}

}  // namespace

std::optional<std::string> ResolveSharePath(const std::string& sharePath, const std::string& thisComputer,
                                            const std::vector<TMountEntry>& mounts) {
  if (sharePath.size() < 2 || sharePath[0] != '\\' || sharePath[1] != '\\') return std::nullopt;
  const std::size_t serverEnd = sharePath.find('\\', 2);
  if (serverEnd == std::string::npos) return std::nullopt;
  const std::string server = sharePath.substr(2, serverEnd - 2);
  std::size_t shareEnd = sharePath.find('\\', serverEnd + 1);
  if (shareEnd == std::string::npos) shareEnd = sharePath.size();
  const std::string share = sharePath.substr(serverEnd + 1, shareEnd - serverEnd - 1);
  const std::string rest = shareEnd < sharePath.size() ? sharePath.substr(shareEnd + 1) : std::string();

  if (IsThisComputer(server, thisComputer)) {
    // The probe was built as drive, separator, rest of the path after the
    // drive's colon; put the server-local path back together.
    std::string local = share.empty() ? rest : share + ":" + rest;
    if (local.empty()) return std::nullopt;
    return local;
  }
  return LocalPathOnShare(server, share, rest, mounts);
}

bool SharePathFileExists(const std::string& sharePath) {
  std::optional<std::string> local = ResolveSharePath(sharePath, ComputerName(), ReadMountTable());
  if (!local) return false;
  std::error_code error;
  return std::filesystem::is_regular_file(*local, error);
}
