#pragma once
// The SHA-256 of a file that another program writes from its start to its
// end, computed while it is written: a backup file the server's gbak makes
// (gbak writes its format in one pass; it can write it into a pipe), so at
// the job's end only the last bytes are left to read instead of the whole
// file. A helper thread reads what has been added (never past the size the
// system reports, below which every byte is written), from the moment the
// file appears.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "platform/sha256.h"

class TGrowingFileHash {
 public:
  // Starts following `path`, which must not exist yet or be the file that
  // is being written.
  explicit TGrowingFileHash(std::string path);
  ~TGrowingFileHash();
  TGrowingFileHash(const TGrowingFileHash&) = delete;
  TGrowingFileHash& operator=(const TGrowingFileHash&) = delete;

  struct TDigest {
    std::uint64_t Size = 0;
    std::string Sha256;
  };
  // Once the writer has finished: the rest read, the digest of the whole
  // file. nullopt when the file under the path is not the one followed (it
  // was replaced, never appeared, or shrank) or could not be read; the
  // caller then reads it whole.
  std::optional<TDigest> Finish();

 private:
  void Follow();
  // Reads what was added since; false on a read error.
  bool CatchUp();

  std::string FPath;
  std::atomic<bool> FStop{false};
  // The helper's alone until it has been joined.
  int FHandle = -1;
  bool FFailed = false;
  std::uint64_t FHashed = 0;
  TSha256 FSha;
  std::thread FThread;
};
