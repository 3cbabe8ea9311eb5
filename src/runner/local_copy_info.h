#pragma once
// What a finished copy on this computer is: its two files and the digest
// written in the second. A job that made one hands this to its caller, the
// one place that records it.

#include <cstdint>
#include <string>

struct TLocalCopyInfo {
  std::string File;               // the compressed copy, "<backup file name>.zst"
  std::string ChecksumFile;       // File + ".sha256", in the format of sha256sum
  std::string Sha256;             // of File's bytes, 64 lower-case hex digits
  std::uint64_t InputBytes = 0;   // the backup file's size
  std::uint64_t OutputBytes = 0;  // the copy's size
};
