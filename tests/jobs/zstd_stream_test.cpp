// zstd as the off-site copies stream it: whatever the pieces, what comes out
// of decompression is what went in; a stream cut short, damaged or empty is
// refused, never passed off as a whole backup.

#include "jobs/offsite/zstd_stream.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/exception.h"

namespace {

// Compressible text with stretches of noise, as a backup file has.
std::string BackupLikeBytes(std::size_t size) {
  std::mt19937 random(7);
  std::string bytes;
  while (bytes.size() < size) {
    bytes += "INSERT INTO T_ORDERS VALUES (" + std::to_string(bytes.size()) + ", 'customer');";
    for (int i = 0; i < 40; ++i) bytes += static_cast<char>(random());
  }
  bytes.resize(size);
  return bytes;
}

std::string Compressed(const std::string& plain, std::size_t piece) {
  std::string out;
  TZstdCompressor compress([&](const char* data, std::size_t size) { out.append(data, size); });
  for (std::size_t at = 0; at < plain.size(); at += piece)
    compress.Write(plain.data() + at, std::min(piece, plain.size() - at));
  compress.Finish();
  return out;
}

// Decompressed in pieces of `piece` bytes; raises what the stream raises.
std::string Decompressed(const std::string& packed, std::size_t piece) {
  std::string out;
  TZstdDecompressor decompress([&](const char* data, std::size_t size) { out.append(data, size); });
  for (std::size_t at = 0; at < packed.size(); at += piece)
    decompress.Write(packed.data() + at, std::min(piece, packed.size() - at));
  decompress.Finish();
  return out;
}

TEST(ZstdStreamTest, WhatGoesInComesOutWhateverThePieces) {
  const std::string plain = BackupLikeBytes(3 * 1024 * 1024 + 17);
  for (std::size_t piece : {std::size_t{1} << 20, std::size_t{4096}, std::size_t{777}}) {
    SCOPED_TRACE(piece);
    const std::string packed = Compressed(plain, piece);
    EXPECT_LT(packed.size(), plain.size());
    EXPECT_EQ(Decompressed(packed, piece), plain);
  }
  EXPECT_EQ(Decompressed(Compressed("", 1), 1), "");
}

TEST(ZstdStreamTest, CutDamagedOrEmptyStreamsAreRefused) {
  const std::string packed = Compressed(BackupLikeBytes(512 * 1024), 65536);
  std::string damaged = packed;
  damaged[damaged.size() / 2] ^= 0x5A;
  struct TCase {
    const char* What;
    std::string Bytes;
    const char* Says;
  };
  const TCase cases[] = {
      {"cut short", packed.substr(0, packed.size() - 100), "cut short"},
      {"damaged", damaged, "damaged"},
      {"not zstd", "PK\x03\x04 not a zstd frame at all", "damaged"},
      {"empty", "", "empty"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    try {
      Decompressed(c.Bytes, 4096);
      ADD_FAILURE() << "accepted";
    } catch (const Exception& error) {
      EXPECT_NE(error.Message.find(c.Says), std::string::npos) << error.Message;
    }
  }
}

}  // namespace
