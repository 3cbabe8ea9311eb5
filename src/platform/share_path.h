#pragma once
// Resolution of a share path "\\server\share\rest" (the probe by which the
// shutdown and restart steps check that a database file can be reached) to a
// file this computer can look at.

#include <optional>
#include <string>
#include <vector>

#include "platform/mount_table.h"

// The local file behind `sharePath`:
// - when the server is this computer (its name `thisComputer`, "localhost",
//   a loopback address, or empty), the server-local path the probe was built
//   from: the share name is a drive letter ("D" of "D:\data") or empty for a
//   path without a drive;
// - otherwise the file on a mounted SMB/CIFS share of that server whose share
//   name matches;
// nullopt when neither applies.
std::optional<std::string> ResolveSharePath(const std::string& sharePath, const std::string& thisComputer,
                                            const std::vector<TMountEntry>& mounts);

// True when the file behind `sharePath` exists (resolved against this
// computer's name and mount table).
bool SharePathFileExists(const std::string& sharePath);
