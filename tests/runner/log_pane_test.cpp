#include "runner/log_pane.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/exception.h"

namespace {

std::string ReadAll(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

TEST(LogPane, WithTrailingBackslash) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"", ""}, {"C:\\data", "C:\\data\\"}, {"C:\\data\\", "C:\\data\\"}, {"\\", "\\"}, {"/opt/q", "/opt/q\\"}};
  for (const auto& c : cases) EXPECT_EQ(WithTrailingBackslash(c.in), c.out) << c.in;
}

TEST(LogPane, LocalComputerNameIsTheHostName) {
  char name[256] = {};
  ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
  EXPECT_EQ(LocalComputerName(), std::string(name));
  EXPECT_FALSE(LocalComputerName().empty());
}

TEST(LogPane, AppendLinesToFileCreatesThenAppends) {
  const auto dir = std::filesystem::temp_directory_path() / ("quorvin_pane_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "job.log").string();
  std::filesystem::remove(file);

  AppendLinesToFile(file, {"Created - now", " ", "Привет"});
  EXPECT_EQ(ReadAll(file), "Created - now\r\n \r\nПривет\r\n");
  AppendLinesToFile(file, {"", "End"});
  EXPECT_EQ(ReadAll(file), "Created - now\r\n \r\nПривет\r\n\r\nEnd\r\n");

  // A folder that does not exist cannot hold the file: raised, not lost.
  EXPECT_THROW(AppendLinesToFile((dir / "missing" / "x.log").string(), {"a"}), EOSError);
  std::filesystem::remove_all(dir);
}
