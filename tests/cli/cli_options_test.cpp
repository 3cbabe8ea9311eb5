// The command line of quorvinctl: what it takes, and what it refuses as wrong
// usage (exit status 2).

#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace {

TCliOptions Parse(std::vector<std::string> words) { return ParseCliOptions(words); }

TEST(CliOptions, CommandsOptionsAndTheirValues) {
  const TCliOptions backup =
      Parse({"--config", "/etc/q.ini", "backup", "--protocol=local", "/srv/a.fdb", "-q", "--copy-dir", "/c"});
  EXPECT_EQ(backup.Command, TCommand::Backup);
  EXPECT_EQ(backup.Arguments, std::vector<std::string>{"/srv/a.fdb"});
  EXPECT_EQ(backup.Config, "/etc/q.ini");
  EXPECT_EQ(backup.Protocol, 3);
  EXPECT_TRUE(backup.Quiet);
  EXPECT_EQ(backup.CopyDir, "/c");

  const TCliOptions restore = Parse({"restore", "a.gbk", "--", "-odd.fdb"});
  EXPECT_EQ(restore.Command, TCommand::Restore);
  EXPECT_EQ(restore.Arguments, (std::vector<std::string>{"a.gbk", "-odd.fdb"}));
  EXPECT_FALSE(restore.Replace);

  const TCliOptions history = Parse({"history", "--json", "--limit", "5", "--protocol", "TCP"});
  EXPECT_TRUE(history.Json);
  EXPECT_EQ(history.Limit, 5u);
  EXPECT_EQ(history.Protocol, 0);
  EXPECT_TRUE(Parse({"--help"}).Help);
  EXPECT_TRUE(Parse({"--version"}).Version);
  EXPECT_EQ(Parse({"--no-copy", "backup", "x"}).CopyDir, "");
}

TEST(CliOptions, WrongUsageIsRefusedWithItsReason) {
  struct TCase {
    std::vector<std::string> Words;
    std::string Says;
  };
  const TCase cases[] = {
      {{}, "no command"},
      {{"bogus"}, "unknown command 'bogus'"},
      {{"backup"}, "wrong number of arguments for 'backup'"},
      {{"restore", "a.gbk"}, "wrong number of arguments for 'restore'"},
      {{"status", "extra"}, "wrong number of arguments for 'status'"},
      {{"backup", "x", "--protocol", "SPX"}, "unknown protocol 'SPX'"},
      {{"backup", "x", "--protocol"}, "needs a value"},
      {{"--quiet=1", "status"}, "takes no value"},
      {{"--password", "secret", "backup", "x"}, "never taken from the command line"},
      {{"history", "--limit", "ten"}, "not a count"},
      {{"--frobnicate", "run"}, "unknown option '--frobnicate'"},
      {{"--copy-only", "--no-copy", "backup", "x"}, "exclude each other"},
  };
  for (const TCase& c : cases) {
    try {
      ParseCliOptions(c.Words);
      ADD_FAILURE() << "accepted: " << testing::PrintToString(c.Words);
    } catch (const EUsage& error) {
      EXPECT_NE(error.Message.find(c.Says), std::string::npos) << error.Message;
    }
  }
}

}  // namespace
