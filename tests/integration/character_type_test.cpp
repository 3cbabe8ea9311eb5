// A database whose path holds Cyrillic letters, backed up by a program that
// runs under LC_ALL=C (as from cron or a service manager): the names reach
// the embedded engine and the server as they are.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "integration/fb_fixture.h"

namespace {

namespace fs = std::filesystem;

TEST(CharacterType, CyrillicPathUnderTheCLocaleLocalAndTcp) {
  for (const char* protocol : {"3", "0"}) {
    SCOPED_TRACE(std::string("protocol ") + protocol);
    fbtest::TempFolder dir{"quorvin-ctype"};
    fbtest::CreateDatabase(dir.File("base.fdb"));
    const std::string database = dir.File("База данных.fdb");
    fs::rename(dir.File("base.fdb"), database);
    int code = -1;
    const std::string output = fbtest::RunCommand("LC_ALL=C LANG=C " + fbtest::ShellQuote(QUORVIN_JOB_PROBE) + " " +
                                                      fbtest::ShellQuote(dir.Path() + "/") + " backup " + protocol +
                                                      " " + fbtest::ShellQuote(database),
                                                  &code);
    EXPECT_EQ(code, 0) << output;
    EXPECT_TRUE(fs::exists(database + ".gbk")) << output;
    EXPECT_FALSE(fbtest::IsShutdown(database));
  }
}

}  // namespace
