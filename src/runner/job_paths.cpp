#include "runner/job_paths.h"

#include <filesystem>
#include <system_error>

#include "platform/text.h"

namespace fs = std::filesystem;

bool IsServerNotation(const std::string& name) {
  const bool driveLetter =
      name.size() >= 2 && name[1] == ':' && ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
  return driveLetter || StartsWith(name, "\\\\");
}

std::string ExpandFileName(const std::string& name) {
  if (name.empty()) return name;
  if (IsServerNotation(name)) return name;
  std::error_code error;
  fs::path full = fs::absolute(fs::path(name), error);
  if (error) return name;
  // Following links finds a file reached through a link into a mounted share.
  fs::path canonical = fs::weakly_canonical(full, error);
  return (error ? full.lexically_normal() : canonical).string();
}

std::string UniversalFileName(const std::string& fullPath, const std::vector<TMountEntry>& mounts) {
  if (fullPath.empty() || fullPath[0] != '/') return fullPath;
  return NetworkNameOf(fullPath, mounts).value_or(fullPath);
}

std::string LastPathComponent(const std::string& path) {
  const std::size_t pos = path.find_last_of("\\/:");
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

TServerPath SplitNetworkName(const std::string& networkName) {
  TServerPath result;
  const std::string rest = networkName.size() > 2 ? networkName.substr(2) : std::string();
  const std::size_t slash = rest.find('\\');
  result.ServerName = slash == std::string::npos ? rest : rest.substr(0, slash);
  // Drop the share with its separator, then the share's second character
  // ("$" of "D$"), and put the drive's colon in its place.
  const std::string afterShare = slash == std::string::npos ? rest : rest.substr(slash + 1);
  if (afterShare.empty())
    result.LocalPath = ":";
  else
    result.LocalPath = afterShare.substr(0, 1) + ":" + (afterShare.size() > 2 ? afterShare.substr(2) : std::string());
  result.FileName = LastPathComponent(result.LocalPath);
  return result;
}

TServerPath ServerPathOf(const std::string& jobFile, const std::string& computerName,
                         const std::vector<TMountEntry>& mounts) {
  if (jobFile.empty()) return {};
  const std::string universal = UniversalFileName(ExpandFileName(jobFile), mounts);
  if (universal.find("\\\\") != std::string::npos) return SplitNetworkName(universal);
  TServerPath result;
  result.ServerName = computerName;
  result.LocalPath = jobFile;
  result.FileName = LastPathComponent(jobFile);
  return result;
}
