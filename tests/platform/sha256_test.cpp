#include "platform/sha256.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(Sha256OfFile(dir / "f"), digest);
    EXPECT_EQ(Sha256Hex(data), digest);
  }
  EXPECT_FALSE(Sha256OfFile(dir / "missing").has_value());
  EXPECT_FALSE(Sha256OfFile(dir.Path).has_value());  // a folder reads as no file
}

}  // namespace
