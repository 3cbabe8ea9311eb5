#include "platform/mount_table.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/text.h"

namespace {

// mountinfo escapes blank, tab, line feed and backslash as \ooo.
std::string DecodeOctalEscapes(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) && isOctal(field[i + 2]) &&
        isOctal(field[i + 3])) {
      int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      out.push_back(static_cast<char>(value));
      i += 3;
      continue;
    }
    out.push_back(field[i]);
  }
  return out;
}

std::vector<std::string_view> SplitBlanks(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    std::size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

// True when `path` is `folder` itself or lies under it.
bool IsUnder(std::string_view path, std::string_view folder) {
  if (folder == "/") return !path.empty() && path[0] == '/';
  if (path.size() < folder.size() || path.substr(0, folder.size()) != folder) return false;
  return path.size() == folder.size() || path[folder.size()] == '/';
}

// The part of the share that the mount shows, "" for the whole share.
std::string MountedSubPath(const TMountEntry& entry, const TShareSource& source) {
  if (!source.SubPath.empty()) return source.SubPath;
  if (entry.Root != "/") return entry.Root;
  return {};
}

}  // namespace

std::vector<TMountEntry> ParseMountInfo(std::string_view text) {
  std::vector<TMountEntry> entries;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;

    // id parent major:minor root mount-point options [optional...] - type source super-options
    std::vector<std::string_view> fields = SplitBlanks(line);
    auto dash = std::find(fields.begin(), fields.end(), std::string_view("-"));
    if (fields.size() < 6 || dash == fields.end() || dash - fields.begin() < 6 || fields.end() - dash < 3) continue;
    TMountEntry entry;
    entry.Root = DecodeOctalEscapes(fields[3]);
    entry.MountPoint = DecodeOctalEscapes(fields[4]);
    entry.FsType = DecodeOctalEscapes(*(dash + 1));
    entry.Source = DecodeOctalEscapes(*(dash + 2));
    if (entry.MountPoint.empty() || entry.MountPoint[0] != '/') continue;
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<TMountEntry> ReadMountTable() {
  std::ifstream in("/proc/self/mountinfo");
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return ParseMountInfo(text.str());
}

bool IsNetworkShareType(std::string_view fsType) { return fsType == "cifs" || fsType == "smb3" || fsType == "smbfs"; }

std::optional<TShareSource> ParseShareSource(std::string_view source) {
  // Both "//server/share" and the backslash form are seen in mount tables.
  std::string s(source);
  std::replace(s.begin(), s.end(), '\\', '/');
  if (s.size() < 5 || s[0] != '/' || s[1] != '/') return std::nullopt;
  std::size_t serverEnd = s.find('/', 2);
  if (serverEnd == std::string::npos || serverEnd == 2) return std::nullopt;
  std::size_t shareEnd = s.find('/', serverEnd + 1);
  if (shareEnd == std::string::npos) shareEnd = s.size();
  if (shareEnd == serverEnd + 1) return std::nullopt;
  TShareSource result;
  result.Server = s.substr(2, serverEnd - 2);
  result.Share = s.substr(serverEnd + 1, shareEnd - serverEnd - 1);
  result.SubPath = s.substr(shareEnd);
  result.SubPath = TrimRight(result.SubPath, "/");
  return result;
}

std::optional<std::string> NetworkNameOf(const std::string& absolutePath, const std::vector<TMountEntry>& mounts) {
  // The innermost mount covering the path decides; among equal mount points
  // the later one hides the earlier.
  const TMountEntry* covering = nullptr;
  for (const TMountEntry& entry : mounts) {
    if (!IsUnder(absolutePath, entry.MountPoint)) continue;
    if (!covering || entry.MountPoint.size() >= covering->MountPoint.size()) covering = &entry;
  }
  if (!covering || !IsNetworkShareType(covering->FsType)) return std::nullopt;
  std::optional<TShareSource> source = ParseShareSource(covering->Source);
  if (!source) return std::nullopt;

  std::string rest = covering->MountPoint == "/" ? absolutePath : absolutePath.substr(covering->MountPoint.size());
  std::string name = "\\\\" + source->Server + "\\" + source->Share + MountedSubPath(*covering, *source) + rest;
  std::replace(name.begin() + 2, name.end(), '/', '\\');
  return name;
}

std::optional<std::string> LocalPathOnShare(std::string_view server, std::string_view share, std::string_view rest,
                                            const std::vector<TMountEntry>& mounts) {
  std::string wanted(rest);
  std::replace(wanted.begin(), wanted.end(), '\\', '/');
  if (wanted.empty() || wanted[0] != '/') wanted.insert(wanted.begin(), '/');
  // Later mounts hide earlier ones on the same folder: look from the end.
  for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
    if (!IsNetworkShareType(it->FsType)) continue;
    std::optional<TShareSource> source = ParseShareSource(it->Source);
    if (!source || !SameTextAscii(source->Server, server) || !SameTextAscii(source->Share, share)) continue;
    std::string sub = MountedSubPath(*it, *source);
    if (!sub.empty() && !IsUnder(wanted, sub)) continue;
    std::string tail = wanted.substr(sub.size());
    std::string base = it->MountPoint == "/" ? std::string() : it->MountPoint;
    return base + (tail.empty() ? std::string() : tail);
  }
  return std::nullopt;
}
