// The command line of quorvinctl: what it takes, and what it refuses as wrong
// usage (exit status 2).

#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include "cli/plan_words.h"

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
      {{"-q", "-v", "backup", "x"}, "--quiet and --verbose exclude each other"},
      {{"--offsite", "s3://b/p", "restore", "s3://b/p/x.gbk.zst", "y"}, "--offsite is an option of backup"},
      {{"plan", "set", "1", "--offsite", "s3://b/p", "--no-offsite"}, "--offsite and --no-offsite exclude each other"},
      {{"backup", "x", "--no-offsite"}, "'--no-offsite' is an option of plan add and plan set"},
      {{"backup", "x", "--days", "mon"}, "'--days' is an option of plan add and plan set"},
      {{"plan", "add", "x", "--days", "mon-frx"}, "unknown weekday 'frx'"},
      {{"plan", "add", "x", "--days", ""}, "unknown weekday ''"},
      {{"plan", "set", "1", "--day", "24:00"}, "not a time of day: '24:00'"},
      {{"plan", "set", "1", "--night-at", "7"}, "not a time of day: '7'"},
      {{"plan", "set", "1", "--day-every", "15m"}, "unknown rhythm '15m'"},
      {{"plan", "set", "1", "--day-every", "1h", "--day-at", "10:00"}, "--day-every and --day-at exclude each other"},
      {{"plan", "set", "1", "--level", "3"}, "no level 3"},
      {{"plan", "set", "1", "--kind", "physical"}, "unknown kind of backups 'physical'"},
      {{"plan", "set", "1", "--keep-last", "-1"}, "not a count"},
      {{"plan"}, "wrong number of arguments for 'plan'"},
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

// The plan's options in the words an administrator reads; the rhythm
// options after --level N go to that level's rhythm.
TEST(CliOptions, PlanOptionsChangeOnlyWhatTheyName) {
  // The words of one command line, a group of options at a time.
  std::vector<std::string> words = {"plan", "set", "2", "--days", "sat-mon,wed", "--day", "8:00", "--night", "20:00"};
  words.insert(words.end(), {"--day-every", "30m", "--night-at", "02:30", "--keep-last", "7", "--kind", "incremental"});
  words.insert(words.end(), {"--level", "1", "--days", "mon-sun", "--night-every", "off", "--no-shutdown"});
  words.insert(words.end(), {"--on-failure", "mail -s failed root", "--program-login"});
  const TCliOptions set = Parse(words);
  EXPECT_EQ(set.Command, TCommand::Plan);
  EXPECT_EQ(set.Arguments, (std::vector<std::string>{"set", "2"}));
  const TRhythmChanges& own = set.Entry.Rhythms[0];
  EXPECT_EQ(own.Days, (std::array<bool, 7>{true, false, true, false, false, true, true}));
  EXPECT_EQ(own.DayStart, EncodeTime(8, 0, 0, 0));
  EXPECT_EQ(own.NightStart, EncodeTime(20, 0, 0, 0));
  EXPECT_EQ(own.DayPeriod, 2);
  EXPECT_EQ(own.NightClock, EncodeTime(2, 30, 0, 0));
  EXPECT_FALSE(own.NightPeriod.has_value());
  const TRhythmChanges& level1 = set.Entry.Rhythms[1];
  EXPECT_EQ(level1.Days, (std::array<bool, 7>{true, true, true, true, true, true, true}));
  EXPECT_EQ(level1.NightPeriod, 0);
  EXPECT_FALSE(set.Entry.Rhythms[2].Any());
  EXPECT_EQ(set.Entry.KeepLast, 7);
  EXPECT_FALSE(set.Entry.KeepDays.has_value());
  EXPECT_EQ(set.Entry.Kind, TDatabaseOptions::BackupKindIncremental);
  EXPECT_EQ(set.Entry.Shutdown, false);
  EXPECT_TRUE(set.Entry.ProgramLogin);
  EXPECT_EQ(set.Hooks.OnFailure, "mail -s failed root");
  EXPECT_FALSE(set.Hooks.OnSuccess.has_value());
  EXPECT_FALSE(set.Entry.Offsite.Any());
  const TCliOptions off = Parse({"plan", "set", "1", "--no-offsite", "--no-s3-path-style"});
  EXPECT_EQ(off.Entry.Offsite.Url, "");
  EXPECT_EQ(off.Entry.Offsite.PathStyle, false);
  EXPECT_EQ(Parse({"plan", "add", "x", "--offsite", "s3://b/p"}).Offsite, "s3://b/p");

  // The words read back as they are written.
  for (const char* days : {"none", "mon", "mon-fri", "mon-sun", "mon,wed,fri", "mon-wed,fri-sun", "sat,sun"})
    EXPECT_EQ(DaysWords(ParseDays(days)), days);
  for (const char* rhythm : {"off", "20m", "30m", "1h", "2h", "3h", "4h"})
    EXPECT_EQ(RhythmWord(ParseRhythm(rhythm)), rhythm);
  EXPECT_EQ(ClockWords(ParseClock("7:05")), "07:05");
  EXPECT_EQ(ClockWords(ParseClock("23:59:30")), "23:59:30");
  EXPECT_EQ(ParseProtocol("local"), 3);
}

// The help fits a terminal of 80 columns and names every command.
TEST(CliOptions, TheHelpFitsEightyColumns) {
  const std::string help = UsageText();
  std::size_t start = 0;
  for (std::size_t end; (end = help.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_LE(end - start, 80u) << help.substr(start, end - start);
  for (const char* command : {"run", "backup", "restore", "status", "history", "check", "plan list", "plan show",
                              "plan add", "plan set", "plan remove", "80", "4 restore refused"})
    EXPECT_NE(help.find(command), std::string::npos) << command;
}

}  // namespace
