#include "platform/growing_file_hash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <vector>

namespace {

// How often the helper looks for new bytes while none come.
constexpr auto Pause = std::chrono::milliseconds(20);
constexpr std::size_t BlockSize = 1 << 20;

}  // namespace

TGrowingFileHash::TGrowingFileHash(std::string path) : FPath(std::move(path)), FThread([this] { Follow(); }) {}

TGrowingFileHash::~TGrowingFileHash() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
  if (FHandle >= 0) close(FHandle);
}

void TGrowingFileHash::Follow() {
  while (!FStop) {
    const std::uint64_t before = FHashed;
    if (!FFailed) FFailed = !CatchUp();
    if (FHashed == before) std::this_thread::sleep_for(Pause);
  }
}

bool TGrowingFileHash::CatchUp() {
  if (FHandle < 0) {
    FHandle = open(FPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (FHandle < 0) return errno == ENOENT;  // not there yet
  }
  struct stat info {};
  if (fstat(FHandle, &info) != 0) return false;
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (size < FHashed) return false;
  std::vector<char> block(BlockSize);
  // A block per turn: Finish never waits long for the helper.
  const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size - FHashed, BlockSize));
  if (wanted == 0) return true;
  const ssize_t got = pread(FHandle, block.data(), wanted, static_cast<off_t>(FHashed));
  if (got < 0) return errno == EINTR;
  FSha.Update(block.data(), static_cast<std::size_t>(got));
  FHashed += static_cast<std::uint64_t>(got);
  return true;
}

std::optional<TGrowingFileHash::TDigest> TGrowingFileHash::Finish() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
  if (FFailed || FHandle < 0) return std::nullopt;
  // The file under the name must be the one followed.
  struct stat named {};
  struct stat followed {};
  if (stat(FPath.c_str(), &named) != 0 || fstat(FHandle, &followed) != 0 || named.st_ino != followed.st_ino ||
      named.st_dev != followed.st_dev)
    return std::nullopt;
  // The rest, up to the end the file has now.
  for (std::uint64_t before = ~0ULL; before != FHashed;) {
    before = FHashed;
    if (!CatchUp()) return std::nullopt;
  }
  return TDigest{FHashed, FSha.HexDigest()};
}
