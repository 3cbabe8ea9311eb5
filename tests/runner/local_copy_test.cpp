// The compressed copy on this computer: read back byte for byte, an older
// copy kept when a new one is abandoned, and damaged copies refused.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "platform/sha256.h"
#include "platform/temp_folder.h"
#include "runner/local_copy_reader.h"
#include "runner/local_copy_writer.h"

namespace {

namespace fs = std::filesystem;

// Small chunks and a short queue, so every path of the threads is taken.
const TLocalCopyTuning Tuning{3, 64 * 1024, 2};

// Written in pieces of uneven size, as the server hands them on.
void WriteCopy(const std::string& path, const std::string& bytes, std::size_t upTo = std::string::npos) {
  TLocalCopyWriter writer(path, Tuning);
  for (std::size_t at = 0, piece = 1; at < std::min(upTo, bytes.size()); at += piece, piece = piece * 7 % 70001 + 1) {
    writer.Write(bytes.data() + at, std::min(piece, bytes.size() - at));
  }
  if (upTo == std::string::npos) writer.Commit();
}

std::string ReadCopy(const std::string& path) {
  TLocalCopyReader reader(path, Tuning);
  reader.VerifyChecksum();
  reader.Start();
  std::string out;
  char buffer[5000];
  for (std::size_t n; (n = reader.Read(buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  return out;
}

TEST(LocalCopy, ReadBackWholeOlderCopyKeptDamageRefused) {
  std::mt19937 random(1);
  std::string bytes;
  while (bytes.size() < (2u << 20)) bytes += "row " + std::to_string(random() % 99999) + " city " + char(random());
  const auto flip = [](const std::string& p) {
    std::string b = ReadFileBytes(p);
    b[b.size() / 2] ^= 0x40;
    WriteFileBytes(p, b);
  };
  const auto matchChecksum = [](const std::string& p) {
    WriteFileBytes(p + ".sha256", Sha256SumLine(Sha256OfFile(p), "c"));
  };
  const std::pair<std::function<void(const std::string&)>, const char*> damages[] = {
      {flip, "does not match its checksum file"},
      {[](const std::string& p) { fs::remove(p + ".sha256"); }, "is missing"},
      {[&](const std::string& p) {
         WriteFileBytes(p, ReadFileBytes(p).substr(0, 5000));
         matchChecksum(p);
       },
       "cut short"},
      {[&](const std::string& p) {
         flip(p);
         matchChecksum(p);
       },
       "is damaged"},  // zstd's own frame checksum
  };
  for (const auto& [damage, message] : damages) {
    TTempFolder dir;
    const std::string path = dir / "c.gbk.zst";
    WriteCopy(path, bytes);
    EXPECT_TRUE(ReadCopy(path) == bytes);
    WriteCopy(path, std::string(100, 'x'), 50);  // a newer copy abandoned half-way
    EXPECT_TRUE(ReadCopy(path) == bytes);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path), fs::directory_iterator()), 2);
    WriteFileBytes(dir / "plain.gbk", bytes);  // a plain backup file is read as it is
    EXPECT_TRUE(ReadCopy(dir / "plain.gbk") == bytes);
    damage(path);
    try {
      ReadCopy(path);
      ADD_FAILURE() << "not refused: " << message;
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
}

}  // namespace
