#pragma once
// The mount table, as far as the network names of files are concerned: which
// folders are SMB/CIFS shares of which server, so that a path under such a
// folder can be named the way the database server's own computer names it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TMountEntry {
  std::string Root;        // folder of the mounted file system shown here
  std::string MountPoint;  // where it is mounted, "/" separated
  std::string FsType;      // "cifs", "ext4", ...
  std::string Source;      // "//server/share" for a network share
};

// Parses the text of /proc/<pid>/mountinfo. Lines that do not have the
// expected shape are skipped. Octal escapes (\040 for a blank ...) are
// decoded.
std::vector<TMountEntry> ParseMountInfo(std::string_view text);

// The current process's mount table; empty when it cannot be read.
std::vector<TMountEntry> ReadMountTable();

// True for the file system types of SMB/CIFS shares.
bool IsNetworkShareType(std::string_view fsType);

// A share source "//server/share[/sub/path]" split up; nullopt when the
// source does not have that shape.
struct TShareSource {
  std::string Server;
  std::string Share;
  std::string SubPath;  // "" or "/sub/path"
};
std::optional<TShareSource> ParseShareSource(std::string_view source);

// The network name "\\server\share\rest" of an absolute path lying under a
// mounted SMB/CIFS share (the innermost mount wins); nullopt when the path is
// on no such share.
std::optional<std::string> NetworkNameOf(const std::string& absolutePath, const std::vector<TMountEntry>& mounts);

// Where this computer sees `rest` (backslash- or slash-separated, relative to
// the share's root) of the share `share` of `server`, through a mounted SMB/CIFS
// share; nullopt when no such share is mounted. Server and share names compare
// without regard to letter case, as the SMB protocol does.
std::optional<std::string> LocalPathOnShare(std::string_view server, std::string_view share, std::string_view rest,
                                            const std::vector<TMountEntry>& mounts);
