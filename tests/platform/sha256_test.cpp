#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "platform/exception.h"
#include "platform/growing_file_hash.h"
#include "platform/temp_folder.h"

namespace {

TEST(Sha256, KnownDigestsOfTextsAndFiles) {
  // FIPS 180-2 examples, the empty text, and more than one read block.
  const std::pair<std::string, std::string> rows[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {std::string(3 << 20, 'a') + "b", "78734bbf075402e4fb21210183c18f0378f590ab117524913ba6fb545339c69a"},
  };
  TTempFolder dir;
  for (const auto& [data, digest] : rows) {
    WriteFileBytes(dir / "f", data);
    int blocks = 0;
    EXPECT_EQ(Sha256OfFile(dir / "f", [&] { ++blocks; }), digest);
    EXPECT_EQ(blocks, static_cast<int>((data.size() + (1 << 20) - 1) >> 20));
    // Fed in uneven pieces, as a stream arrives.
    TSha256 sha;
    for (std::size_t at = 0; at < data.size(); at += 7777)
      sha.Update(data.data() + at, std::min<std::size_t>(7777, data.size() - at));
    EXPECT_EQ(sha.HexDigest(), digest);
  }
  EXPECT_THROW(Sha256OfFile(dir / "missing"), EOSError);
  EXPECT_THROW(Sha256OfFile(dir.Path), EOSError);  // a folder is no file
}

TEST(Sha256, ChecksumFileLines) {
  const std::string digest(64, 'a');
  EXPECT_EQ(Sha256SumLine(digest, "x.gbk.zst"), digest + "  x.gbk.zst\n");
  const std::pair<std::string, std::optional<std::string>> rows[] = {
      {digest + "  x.gbk.zst\n", digest},
      {std::string(64, 'A') + " *x.gbk.zst", digest},  // binary form, upper case
      {digest + " x", std::nullopt},                   // one blank only
      {digest + "  \n", std::nullopt},                 // no name
      {std::string(63, 'a') + "g  x", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, expected] : rows) EXPECT_EQ(ParseSha256SumLine(text), expected) << text;
}

}  // namespace

// A file hashed while another thread writes it, as the server writes a
// backup: the digest of the whole file at its end; none for a file that was
// replaced meanwhile or never came.
TEST(GrowingFileHash, HashesWhileTheFileIsWrittenAndOnlyTheFileFollowed) {
  TTempFolder folder;
  const std::string path = folder.Path + "growing.gbk";
  TGrowingFileHash growing(path);
  {
    std::ofstream out(path, std::ios::binary);
    std::string block(300000, 'b');
    for (int i = 0; i < 20; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
      block[0] = static_cast<char>(i);
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
      out.flush();
    }
  }
  const std::optional<TGrowingFileHash::TDigest> digest = growing.Finish();
  ASSERT_TRUE(digest);
  EXPECT_EQ(digest->Size, 20u * 300000u);
  EXPECT_EQ(digest->Sha256, Sha256OfFile(path));

  const std::string replaced = folder.Path + "replaced.gbk";
  TGrowingFileHash other(replaced);
  std::ofstream(replaced) << "first";
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::ofstream(folder.Path + "new") << "second";
  std::filesystem::rename(folder.Path + "new", replaced);
  EXPECT_FALSE(other.Finish());
  EXPECT_FALSE(TGrowingFileHash(folder.Path + "never.gbk").Finish());
}
