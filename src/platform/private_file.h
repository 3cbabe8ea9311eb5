#pragma once
// Reading a file that holds a secret (an encryption key, access keys): such
// a file must be readable by its owner only, as ssh demands of its keys, or
// it is refused before a byte of it is used.

#include <string>

// The whole content of `path` (at most 64 KiB). Raises EOSError naming the
// file, `what` it is, and the reason: it cannot be read, it is not a regular
// file, or its mode gives anyone but its owner access ("chmod 600" fixes it).
std::string ReadPrivateFile(const std::string& path, const std::string& what);
