#pragma once
// How a job addresses a file on the database server: the server's name and
// the path by which the server's own file system knows the file, derived from
// the name as this computer sees it.

#include <string>
#include <vector>

#include "platform/mount_table.h"

struct TServerPath {
  std::string ServerName;
  std::string LocalPath;  // as the server's file system names it
  std::string FileName;   // last component of LocalPath
};

// A name already complete in the server's own notation, separated by
// backslashes: a network name ("\\server\share\...") or a drive-letter path
// ("D:\...").
bool IsServerNotation(const std::string& name);

// The full path of `name`. Names in the server's own notation stay as they
// are; others are made absolute against the current folder, with "." and ".."
// resolved and links followed where they exist.
std::string ExpandFileName(const std::string& name);

// The full path, or its network name "\\server\share\rest" when it lies under
// a mounted SMB/CIFS share.
std::string UniversalFileName(const std::string& fullPath, const std::vector<TMountEntry>& mounts);

// The last component of a path (separators "\", "/" and ":").
std::string LastPathComponent(const std::string& path);

// The server name and server-local path of a network name (any text holding
// two consecutive backslashes): the server is the text after the first two
// characters up to the next backslash; the share is read as a drive's
// administrative share, so "\\dbhost\D$\data\base.gdb" gives "dbhost" and
// "D:\data\base.gdb". A share that is not of that form gives an unchecked
// result ("\\dbhost\data\base.gdb" gives "d:ta\base.gdb").
TServerPath SplitNetworkName(const std::string& networkName);

// The whole derivation for one job file: expanded, turned into its network
// name when on a mounted share, split when it is a network name; otherwise
// this computer (`computerName`) and the stored text unchanged. Empty for an
// empty name.
TServerPath ServerPathOf(const std::string& jobFile, const std::string& computerName,
                         const std::vector<TMountEntry>& mounts);
