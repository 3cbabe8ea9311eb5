#pragma once
// SHA-256 of a file's content, as lowercase hex, through OpenSSL's libcrypto.

#include <optional>
#include <string>
#include <string_view>

// The digest of `data`, 64 lowercase hex digits.
std::string Sha256Hex(std::string_view data);

// The digest of the file's whole content, read in large blocks; nullopt when
// the file cannot be opened or read to its end.
std::optional<std::string> Sha256OfFile(const std::string& path);
