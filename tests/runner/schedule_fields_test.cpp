#include <gtest/gtest.h>

#include <string>

#include "runner/fixed_text.h"
#include "runner/job_options.h"
#include "runner/schedule.h"

TEST(ScheduleFields, ConstructorDefaults) {
  TSchedule job;
  EXPECT_EQ(job.JobKind, 1);
  for (int i = 1; i <= 8; ++i) EXPECT_FALSE(job.JobOption(i)) << i;
  EXPECT_EQ(job.Protocol(), 3);
  EXPECT_EQ(job.JobName(), "New job");
  EXPECT_EQ(job.UserName(), "");
  EXPECT_EQ(job.Password(), "");
  EXPECT_EQ(job.JobFile(1), "");
  EXPECT_EQ(job.JobFile(2), "");
  EXPECT_TRUE(job.StopDatabase);
  EXPECT_TRUE(job.WriteJobLog);
  EXPECT_FALSE(job.VerboseJobLog);
}

TEST(ScheduleFields, ShortTextsAreCutTo40CharactersOnCharacterBoundaries) {
  const std::string ascii50(50, 'a');
  const std::string cyrillic45 = [] {
    std::string s;
    for (int i = 0; i < 45; ++i) s += "Ж";  // two bytes each
    return s;
  }();
  const std::string mixed = std::string(39, 'x') + "€yz";  // "€" is three bytes, the 40th character
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {std::string(40, 'q'), std::string(40, 'q')},
      {ascii50, std::string(40, 'a')},
      {cyrillic45, cyrillic45.substr(0, 80)},
      {mixed, std::string(39, 'x') + "€"},
      {"😀" + std::string(45, 'b'), "😀" + std::string(39, 'b')},
  };
  for (const auto& c : cases) {
    TSchedule job;
    job.SetJobName(c.in);
    job.SetUserName(c.in);
    job.SetPassword(c.in);
    EXPECT_EQ(job.JobName(), c.out) << c.in;
    EXPECT_EQ(job.UserName(), c.out) << c.in;
    EXPECT_EQ(job.Password(), c.out) << c.in;
  }
}

TEST(ScheduleFields, Utf8PrefixNeverSplitsACharacterEvenInBrokenText) {
  // Lead bytes with too many continuation bytes, stray continuation bytes.
  const std::string broken = "\xE2\x82\xAC\x80\x80\x80\x80\xC3";
  for (std::size_t chars = 0; chars <= 8; ++chars) {
    std::size_t n = Utf8PrefixBytes(broken, chars);
    EXPECT_LE(n, chars * 4);
    EXPECT_LE(n, broken.size());
  }
  EXPECT_EQ(Utf8PrefixBytes("aЖ€😀b", 4), 1u + 2 + 3 + 4);
  EXPECT_EQ(Utf8Length("aЖ€😀b"), 5u);
  TFixedText<3> text;
  EXPECT_FALSE(text.Set("abcd"));
  EXPECT_EQ(text.Get(), "abc");
  EXPECT_TRUE(text.Set("ЖЖ"));
  EXPECT_EQ(text.Get(), "ЖЖ");
}

TEST(ScheduleFields, ProtocolByteIsKeptUnchanged) {
  TSchedule job;
  for (int value : {0, 1, 2, 3, 200, 255}) {
    job.SetProtocol(static_cast<uint8_t>(value));
    EXPECT_EQ(job.Protocol(), value);
  }
}

TEST(ScheduleFields, OptionAndFileIndexRules) {
  TSchedule job;
  for (int i : {-1, 0, 9, 100}) {
    job.SetJobOption(i, true);
    EXPECT_FALSE(job.JobOption(i)) << i;
  }
  for (int i = 1; i <= 8; ++i) EXPECT_FALSE(job.JobOption(i)) << "changed by an out-of-range index: " << i;
  job.SetJobOption(1, true);
  job.SetJobOption(8, true);
  EXPECT_TRUE(job.JobOption(1));
  EXPECT_TRUE(job.JobOption(8));
  job.SetJobOption(8, false);
  EXPECT_FALSE(job.JobOption(8));

  for (int i : {-1, 0, 3}) {
    job.SetJobFile(i, "/db/x.fdb");
    EXPECT_EQ(job.JobFile(i), "") << i;
  }
  EXPECT_EQ(job.JobFile(1), "");
  EXPECT_EQ(job.JobFile(2), "");
  job.SetJobFile(2, "/b/y.gbk");
  job.SetJobFile(1, "/a/x.fdb");
  EXPECT_EQ(job.JobFile(1), "/a/x.fdb");
  EXPECT_EQ(job.JobFile(2), "/b/y.gbk");
}

TEST(ScheduleFields, FileNamesUpTo80CharactersAreKeptLongerOnesAreNeverShortened) {
  TSchedule job;
  const std::string exact80 = "/" + std::string(75, 'd') + ".fdb";
  ASSERT_EQ(exact80.size(), 80u);
  job.SetJobFile(1, exact80);
  EXPECT_EQ(job.JobFile(1), exact80);

  std::string cyr80 = "/";
  for (int i = 0; i < 75; ++i) cyr80 += "б";
  cyr80 += ".fdb";
  job.SetJobFile(2, cyr80);  // 80 characters, 155 bytes
  EXPECT_EQ(job.JobFile(2), cyr80);

  job.SetJobFile(1, exact80 + "x");
  EXPECT_EQ(job.JobFile(1), "");
  // A fitting name afterwards takes the slot back.
  job.SetJobFile(1, "/a.fdb");
  EXPECT_EQ(job.JobFile(1), "/a.fdb");
}

TEST(JobOptions, OptionsTextForEveryKindAndSwitch) {
  const char* expected[3][8] = {
      {"Ignore checksums", "Ignore limbo transactions", "Metadata only", "Old metadata description",
       "No garbage collection", "Non-transportable", "Convert external tables", nullptr},
      {"Deactivate indexes", "No shadow files", "No validity check", "One relation at a time", "Replace",
       "Create new database", "Use all space", nullptr},
      {"Limbo transactions", "Check database only", "Ignore checksum errors", "Kill shadow files", "Mend database",
       "Sweep database", "Validate database", "Full validate"}};
  for (int kind = 1; kind <= 3; ++kind) {
    bool none[8] = {};
    EXPECT_EQ(JobOptionsText(kind, none), "[]");
    for (int n = 1; n <= 8; ++n) {
      bool one[8] = {};
      one[n - 1] = true;
      const char* caption = expected[kind - 1][n - 1];
      EXPECT_EQ(JobOptionsText(kind, one), caption ? "[" + std::string(caption) + "]" : "[]")
          << "kind " << kind << " switch " << n;
    }
  }
  bool two[8] = {false, true, true};
  EXPECT_EQ(JobOptionsText(1, two), "[Ignore limbo transactions,Metadata only]");
  bool all[8] = {true, true, true, true, true, true, true, true};
  EXPECT_EQ(JobOptionsText(2, all),
            "[Deactivate indexes,No shadow files,No validity check,One relation at a time,Replace,"
            "Create new database,Use all space]");
  EXPECT_EQ(JobOptionsText(4, all), "[]");
}

TEST(JobOptions, SwitchesSelectTheRightMembers) {
  // The option bits a switch ends up sending, as the server reads them.
  const uint32_t backupBits[7] = {0x01, 0x02, 0x04, 0x10, 0x08, 0x20, 0x40};
  for (int n = 1; n <= 7; ++n) EXPECT_EQ(BackupOptionBit(*BackupOptionOfSwitch(n)), backupBits[n - 1]) << n;
  EXPECT_FALSE(BackupOptionOfSwitch(8));
  const uint32_t restoreBits[7] = {0x100, 0x200, 0x400, 0x800, 0x1000, 0x2000, 0x4000};
  for (int n = 1; n <= 7; ++n) EXPECT_EQ(RestoreOptionBit(*RestoreOptionOfSwitch(n)), restoreBits[n - 1]) << n;
  EXPECT_FALSE(RestoreOptionOfSwitch(8));
  const uint32_t repairBits[8] = {0x08, 0x10, 0x20, 0x40, 0x04, 0x02, 0x01, 0x80};
  for (int n = 1; n <= 8; ++n) EXPECT_EQ(ValidateOptionBit(*ValidateOptionOfSwitch(n)), repairBits[n - 1]) << n;
  EXPECT_FALSE(ValidateOptionOfSwitch(0));
  EXPECT_FALSE(ValidateOptionOfSwitch(9));
}
