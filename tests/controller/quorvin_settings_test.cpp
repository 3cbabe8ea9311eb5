#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "controller_fixture.h"
#include "platform/files.h"
#include "platform/profile_file.h"

namespace {

using Settings = ControllerTest;

TEST_F(Settings, MissingFileGivesEveryDefault) {
  TQuorvin& q = Start();
  EXPECT_EQ(q.IniPath(), Dir / "Quorvin.INI");
  EXPECT_EQ(q.ProgramDir(), Dir.Path);
  EXPECT_EQ(q.Settings().User, "SYSDBA");
  EXPECT_EQ(q.Settings().Pass, "");
  EXPECT_EQ(q.Settings().DataBase, "");
  EXPECT_EQ(q.Settings().LastBack, "");
  EXPECT_EQ(q.Settings().PageSize, 4096);
  EXPECT_EQ(q.Settings().Protocol, 0);  // a first start: TCP
  const bool back[] = {q.Settings().BackParam1, q.Settings().BackParam2, q.Settings().BackParam3,
                       q.Settings().BackParam4, q.Settings().BackParam5, q.Settings().BackParam6,
                       q.Settings().BackParam7};
  const bool rest[] = {q.Settings().RestParam1, q.Settings().RestParam2, q.Settings().RestParam3,
                       q.Settings().RestParam4, q.Settings().RestParam5, q.Settings().RestParam6,
                       q.Settings().RestParam7};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(back[i], i == 1) << "BackParam" << i + 1;
    EXPECT_EQ(rest[i], i == 4) << "RestParam" << i + 1;
  }
  EXPECT_TRUE(q.Settings().BackShutDown);
  EXPECT_TRUE(q.Settings().AutoBackName);
  EXPECT_FALSE(q.Settings().RememberPass);
  const TPlanRecord& p = q.Settings().PlanRecord;
  for (bool day : {p.Day1Back, p.Day2Back, p.Day3Back, p.Day4Back, p.Day5Back, p.Day6Back, p.Day7Back})
    EXPECT_FALSE(day);
  EXPECT_EQ(p.DayPeriodBack, 0);
  EXPECT_EQ(p.NightPeriodBack, 0);
  EXPECT_EQ(p.QueueBack, 1);
  for (TDateTime t : {p.DayBeginBack, p.NightBeginBack, p.DayClockBack, p.NightClockBack}) EXPECT_EQ(t, 0.0);
  EXPECT_EQ(q.Settings().BDNames, std::vector<std::string>(11));
  EXPECT_TRUE(q.Settings().MorePlanEntries.empty());
  EXPECT_EQ(q.Plan().RunOf(1), nullptr);
  EXPECT_FALSE(q.Plan().Running() || q.PlanBackupRunning());
  // Reading alone never creates the file.
  EXPECT_FALSE(FileExists(IniPath()));
}

// Only a first start (no settings file) takes TCP; a file keeps its protocol,
// "none chosen" included, also when it lacks the key. The command line, which
// never writes the file, gets TCP the same way.
TEST_F(Settings, FirstStartTakesTcpAFileKeepsItsProtocol) {
  const struct {
    const char* name;
    const char* ini;  // null: no file
    std::int32_t protocol;
    const char* written;
  } rows[] = {
      {"first start", nullptr, 0, "Protocol=0"},
      {"a file that chose none", "[Parameters]\nProtocol=-1\n", -1, "Protocol=-1"},
      {"a file without the key", "[Main]\nDataBase=/db/a.fdb\n", -1, "Protocol=-1"},
      {"a file that chose Local", "[Parameters]\nProtocol=3\n", 3, "Protocol=3"},
  };
  for (const auto& row : rows) {
    DeleteFile(IniPath());
    if (row.ini) SetIni(row.ini);
    TQuorvin commandLine(TFrontEnd{nullptr, &Prompts, nullptr, "quorvinctl", nullptr, false, false}, Dir.Path);
    EXPECT_EQ(commandLine.Settings().Protocol, row.protocol) << row.name;
    EXPECT_EQ(FileExists(IniPath()), row.ini != nullptr) << row.name;
    EXPECT_EQ(Start().Settings().Protocol, row.protocol) << row.name;
    Close();
    EXPECT_NE(Ini().find(std::string(row.written) + "\n"), std::string::npos) << row.name << ": " << Ini();
    EXPECT_EQ(Start().Settings().Protocol, row.protocol) << row.name << ", read again";
    Close();
  }
}

TEST_F(Settings, ValuesAsTheFileHoldsThem) {
  SetIni(
      "[Main]\nDataBase=/srv/db/shop.fdb\nLastBack=/srv/db/shop.gbk\nPageSize=3000\nUser=\nPass=\n"
      "[Parameters]\nProtocol=0x3\nBackShutDown=0\nBackParam2=0\nBackParam7=12\nRestParam5=abc\nRememberPass=1\n"
      "[Plan]\nDay1Back=1\nDay7Back=-1\nDayPeriodBack=263\nNightPeriodBack=-1\nQueueBack=0x102\n"
      "DayBeginBack=8:00:00\nNightBeginBack=20:00\nDayClockBack=08:00:30\nNightClockBack=23:30:45\n"
      "[BDNames]\nName0=/a.fdb\nName3=/d.fdb\nName10=/k.fdb\nName11=/never.fdb\n");
  TQuorvin& q = Start();
  EXPECT_EQ(q.Settings().DataBase, "/srv/db/shop.fdb");
  EXPECT_EQ(q.Settings().LastBack, "/srv/db/shop.gbk");
  EXPECT_EQ(q.Settings().PageSize, 4096);
  // Present and empty reads empty, whatever the default.
  EXPECT_EQ(q.Settings().User, "");
  EXPECT_EQ(q.Settings().Protocol, 3);
  EXPECT_FALSE(q.Settings().BackShutDown);
  EXPECT_FALSE(q.Settings().BackParam2);
  EXPECT_TRUE(q.Settings().BackParam7);
  EXPECT_TRUE(q.Settings().RestParam5);  // not an integer: the default
  EXPECT_TRUE(q.Settings().RememberPass);
  EXPECT_TRUE(q.Settings().PlanRecord.Day1Back);
  EXPECT_FALSE(q.Settings().PlanRecord.Day2Back);
  EXPECT_TRUE(q.Settings().PlanRecord.Day7Back);
  EXPECT_EQ(q.Settings().PlanRecord.DayPeriodBack, 7);
  EXPECT_EQ(q.Settings().PlanRecord.NightPeriodBack, 255);
  EXPECT_EQ(q.Settings().PlanRecord.QueueBack, 2);
  EXPECT_NEAR(q.Settings().PlanRecord.DayBeginBack, EncodeTime(8, 0, 0, 0), 1e-9);
  EXPECT_NEAR(q.Settings().PlanRecord.NightBeginBack, EncodeTime(20, 0, 0, 0), 1e-9);
  EXPECT_NEAR(q.Settings().PlanRecord.DayClockBack, EncodeTime(8, 0, 30, 0), 1e-9);
  EXPECT_NEAR(q.Settings().PlanRecord.NightClockBack, EncodeTime(23, 30, 45, 0), 1e-9);
  const std::vector<std::string> names = {"/a.fdb", "", "", "/d.fdb", "", "", "", "", "", "", "/k.fdb"};
  EXPECT_EQ(q.Settings().BDNames, names);
}

TEST_F(Settings, PageSizeIsCorrectedAndWrittenBack) {
  for (const char* text : {"3000", "0", "abc", "16384", "1024", "8192"}) {
    SetIni(std::string("[Main]\nPageSize=") + text + "\n");
    Start();
    const int expected = (std::string(text) == "1024" || std::string(text) == "8192") ? std::stoi(text) : 4096;
    EXPECT_EQ(Controller->Settings().PageSize, expected) << text;
    Close();
    EXPECT_EQ(TIniFile(IniPath()).ReadString("Main", "PageSize", ""), std::to_string(expected)) << text;
  }
}

TEST_F(Settings, CloseWritesMainParametersAndNamesInOrder) {
  TQuorvin& q = Start();
  q.Settings().DataBase = "/srv/db/shop.fdb";
  q.Settings().LastBack = "/srv/db/shop_06_12_26_12_15.gbk";
  q.Settings().Protocol = -1;
  q.Settings().BackParam1 = true;
  q.Settings().RestParam7 = true;
  q.Settings().RememberPass = false;
  q.Settings().User = "bob";
  q.Settings().Pass = "secret";
  q.Settings().BDNames = {"/a", "/b"};
  Close();
  // clang-format off
  const std::vector<std::string> expected = {
      "[Main]", "DataBase=/srv/db/shop.fdb", "LastBack=/srv/db/shop_06_12_26_12_15.gbk", "PageSize=4096",
      "Pass=", "User=", "",
      "[Parameters]", "Protocol=-1", "BackShutDown=1",
      "BackParam1=1", "BackParam2=1", "BackParam3=0", "BackParam4=0", "BackParam5=0", "BackParam6=0", "BackParam7=0",
      "RestParam1=0", "RestParam2=0", "RestParam3=0", "RestParam4=0", "RestParam5=1", "RestParam6=0", "RestParam7=1",
      "AutoBackName=1", "RememberPass=0", "",
      "[BDNames]", "Name0=/a", "Name1=/b"};
  // clang-format on
  EXPECT_EQ(Lines(Ini()), expected);
  // The plan is not written at close.
  EXPECT_EQ(Ini().find("[Plan]"), std::string::npos);
}

TEST_F(Settings, RememberedPasswordStandsAsTyped) {
  TQuorvin& q = Start();
  q.Settings().RememberPass = true;
  q.Settings().User = "Админ";
  q.Settings().Pass = "p=ss;word#\"1\"";
  Close();
  Start();
  EXPECT_EQ(Controller->Settings().User, "Админ");
  EXPECT_EQ(Controller->Settings().Pass, "p=ss;word#\"1\"");
  EXPECT_NE(Ini().find("Pass=p=ss;word#\"1\"\n"), std::string::npos);
  // Blanks at the ends and quotes around it survive a close and a start.
  for (const std::string typed : {" pw ", "'pw'", "\"pw\"", "\t"}) {
    Controller->Settings().Pass = typed;
    Close();
    Start();
    EXPECT_EQ(Controller->Settings().Pass, typed);
  }
  Controller->Settings().RememberPass = false;
  Close();
  EXPECT_EQ(TIniFile(IniPath()).ReadString("Main", "Pass", "-"), "");
  EXPECT_EQ(TIniFile(IniPath()).ReadString("Main", "User", "-"), "");
}

TEST_F(Settings, AtMostElevenNamesAndOlderOnesBeyondStay) {
  TQuorvin& q = Start();
  q.Settings().BDNames.clear();
  for (int i = 0; i < 14; ++i) q.Settings().BDNames.push_back("/db" + std::to_string(i));
  Close();
  TIniFile ini(IniPath());
  for (int i = 0; i <= 10; ++i)
    EXPECT_EQ(ini.ReadString("BDNames", "Name" + std::to_string(i), "-"), "/db" + std::to_string(i));
  EXPECT_EQ(ini.ReadString("BDNames", "Name11", "-"), "-");

  Start();
  EXPECT_EQ(Controller->Settings().BDNames.size(), 11u);
  Controller->Settings().BDNames = {"/x", "/y", "/z"};
  Close();
  const std::vector<std::string> expected = {"/x",   "/y",   "/z",   "/db3", "/db4", "/db5",
                                             "/db6", "/db7", "/db8", "/db9", "/db10"};
  Start();
  EXPECT_EQ(Controller->Settings().BDNames, expected);
}

TEST_F(Settings, HandWrittenFileKeepsEveryUntouchedLine) {
  const std::string handWritten =
      "; Quorvin settings, edited by hand\r\n"
      "[Other]\r\n"
      "Key = value ; not ours\r\n"
      "\r\n"
      "  [ main ]  \r\n"
      "   database   =   /srv/db/shop.fdb   \r\n"
      "# a comment inside\r\n"
      "Unknown=kept\r\n"
      "[Plan]\r\n"
      "DayPeriodBack = 3\r\n"
      "[BDNames]\r\n"
      "Name0 = /first\r\n"
      "Name5=/old5\r\n"
      "[Tail]\r\n"
      "x=1";
  SetIni(handWritten);
  TQuorvin& q = Start();
  EXPECT_EQ(q.Settings().DataBase, "/srv/db/shop.fdb");
  EXPECT_EQ(q.Settings().PlanRecord.DayPeriodBack, 3);
  q.Settings().BDNames = {"/new0"};
  Close();
  const std::vector<std::string> after = Lines(Ini());
  // Lines that hold none of the written keys survive byte for byte, in order.
  // clang-format off
  const std::vector<std::string> kept = {"; Quorvin settings, edited by hand", "[Other]", "Key = value ; not ours",
                                         "  [ main ]  ", "# a comment inside", "Unknown=kept", "[Plan]",
                                         "DayPeriodBack = 3", "[BDNames]", "Name5=/old5", "[Tail]", "x=1"};
  // clang-format on
  auto from = after.begin();
  for (const std::string& line : kept) {
    auto it = std::find(from, after.end(), line);
    ASSERT_NE(it, after.end()) << "lost: " << line;
    from = it + 1;
  }
  EXPECT_NE(std::find(after.begin(), after.end(), "DataBase=/srv/db/shop.fdb"), after.end());
  EXPECT_NE(std::find(after.begin(), after.end(), "Name0=/new0"), after.end());
  // The file keeps its CR LF line ends.
  EXPECT_EQ(Ini().find("\r\n[Parameters]\r\n"), Ini().find("[Parameters]") - 2);
  Start();
  EXPECT_EQ(Controller->Settings().BDNames[0], "/new0");
  EXPECT_EQ(Controller->Settings().BDNames[5], "/old5");
}

TEST_F(Settings, SavePlanWritesThePlanAtOnceAndReadsBack) {
  TQuorvin& q = Start();
  TPlanRecord& p = q.Settings().PlanRecord;
  p.Day2Back = p.Day6Back = true;
  p.DayPeriodBack = 1;
  p.NightPeriodBack = 7;
  p.QueueBack = 9;
  p.DayBeginBack = EncodeDate(2026, 12, 6) + EncodeTime(8, 0, 0, 0);  // a picker's date part is ignored
  p.NightBeginBack = EncodeTime(20, 0, 0, 0);
  p.NightClockBack = EncodeTime(23, 30, 45, 0);
  q.SavePlan();
  // clang-format off
  const std::vector<std::string> expected = {"[Plan]", "Day1Back=0", "Day2Back=1", "Day3Back=0", "Day4Back=0",
                                             "Day5Back=0", "Day6Back=1", "Day7Back=0", "DayPeriodBack=1",
                                             "NightPeriodBack=7", "QueueBack=9", "DayBeginBack=08:00:00",
                                             "NightBeginBack=20:00:00", "DayClockBack=00:00:00",
                                             "NightClockBack=23:30:45"};
  // clang-format on
  // Written before the program closes: a crash now still keeps the plan.
  EXPECT_EQ(Lines(Ini()), expected);
  Close();
  Start();
  const TPlanRecord& r = Controller->Settings().PlanRecord;
  EXPECT_TRUE(r.Day2Back && r.Day6Back && !r.Day1Back);
  EXPECT_EQ(r.QueueBack, 9);
  EXPECT_NEAR(r.DayBeginBack, EncodeTime(8, 0, 0, 0), 1e-9);
  EXPECT_NEAR(r.NightClockBack, EncodeTime(23, 30, 45, 0), 1e-9);
}

// The session switches: off in a file that lacks them; whether the plan runs
// is written at once, with its database, and never at the close.
TEST_F(Settings, SessionSwitchesAndThePlanRunningAtClose) {
  SetIni("[Main]\nDataBase=/old.fdb\n[Plan]\nResumePlan=1\n");
  TQuorvin& q = Start();
  EXPECT_FALSE(q.Settings().StartWithSession || q.Settings().PlanRunning || q.PlanResumesAtStart());
  q.Settings().DataBase = "/plan.fdb";
  q.SavePlanRunning(true);
  EXPECT_EQ(Lines(Ini()),
            (std::vector<std::string>{"[Main]", "DataBase=/plan.fdb", "[Plan]", "ResumePlan=1", "PlanRunning=1"}));
  q.Settings().PlanRunning = false;
  Close();
  EXPECT_TRUE(Start().PlanResumesAtStart());
}

TEST_F(Settings, AddedKeysAreWrittenOnlyOnceUsed) {
  Start().Settings().PlanRecord.Day3Back = true;
  Controller->SavePlan();
  Close();
  // A file as an older version wrote it: unchanged by a close and by saving
  // the plan unchanged.
  const std::string older = Ini();
  Start().SavePlan();
  Close();
  EXPECT_EQ(Ini(), older);

  struct Row {
    const char* section;
    const char* key;
    std::function<void(TQuorvin&, bool)> set;
    const char* on;
    const char* off;
  };
  const Row rows[] = {
      {"Parameters", "VerifyBackup", [](TQuorvin& q, bool on) { q.Settings().VerifyBackup = on; }, "1", "0"},
      {"Parameters", "LocalCopyDir",
       [](TQuorvin& q, bool on) { q.Settings().LocalCopyDir = on ? "/home/dba/copies" : ""; }, "/home/dba/copies", ""},
      {"Parameters", "LocalCopyOnly", [](TQuorvin& q, bool on) { q.Settings().LocalCopyOnly = on; }, "1", "0"},
      {"Plan", "KeepLastBackups", [](TQuorvin& q, bool on) { q.Settings().KeepLastBackups = on ? 5 : 0; }, "5", "0"},
      {"Plan", "KeepBackupDays", [](TQuorvin& q, bool on) { q.Settings().KeepBackupDays = on ? 30 : 0; }, "30", "0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key);
    EXPECT_EQ(older.find(row.key), std::string::npos);
    for (const bool on : {true, false}) {
      // Switched back off, the key stays in the file, saying so.
      row.set(Start(), on);
      Controller->SavePlan();
      Close();
      EXPECT_EQ(ReadProfileValue(IniPath(), row.section, row.key), on ? row.on : row.off);
    }
  }
}

TEST_F(Settings, RejectedPlanTimeReadsAsMidnightAndNothingElseIsLost) {
  SetIni(
      "[Main]\nUser=bob\nPass=pw\n[Parameters]\nRememberPass=1\nProtocol=3\n"
      "[Plan]\nDayBeginBack=8 o'clock\nNightBeginBack=20:00:00\nDayClockBack=\nNightClockBack=25:61\n"
      "[BDNames]\nName0=/a.fdb\nName1=/b.fdb\n");
  TQuorvin& q = Start();
  EXPECT_EQ(q.Settings().PlanRecord.DayBeginBack, 0.0);
  EXPECT_NEAR(q.Settings().PlanRecord.NightBeginBack, EncodeTime(20, 0, 0, 0), 1e-9);
  EXPECT_EQ(q.Settings().PlanRecord.DayClockBack, 0.0);
  EXPECT_EQ(q.Settings().PlanRecord.NightClockBack, 0.0);
  // Every key after the bad times is read in full.
  EXPECT_EQ(q.Settings().User, "bob");
  EXPECT_EQ(q.Settings().Pass, "pw");
  EXPECT_EQ(q.Settings().BDNames[1], "/b.fdb");
  Close();
  TIniFile ini(IniPath());
  EXPECT_EQ(ini.ReadString("Main", "User", ""), "bob");
  EXPECT_EQ(ini.ReadString("Main", "Pass", ""), "pw");
  EXPECT_EQ(ini.ReadString("Parameters", "Protocol", ""), "3");
  EXPECT_EQ(ini.ReadString("BDNames", "Name1", ""), "/b.fdb");
  // The bad text stays until the user saves a plan.
  EXPECT_EQ(ini.ReadString("Plan", "DayBeginBack", ""), "8 o'clock");
}

TEST_F(Settings, SettingsFileIsTheOwnersOnly) {
  const mode_t old = umask(0);
  Start();
  Close();
  umask(old);
  struct stat st {};
  ASSERT_EQ(stat(IniPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Settings, RefusedWriteRaisesTheMessageAndKeepsEarlierKeys) {
  TQuorvin& q = Start();
  q.Settings().DataBase = "/srv/db/shop.fdb";
  // A name with a line break cannot be written as one value.
  q.Settings().BDNames = {"/ok0", "/bad\n[Main]\nPass=x", "/never"};
  try {
    q.WriteIni();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "Unable to write to " + Dir.Path + "Quorvin.INI");
  }
  TIniFile ini(IniPath());
  EXPECT_EQ(ini.ReadString("Main", "DataBase", ""), "/srv/db/shop.fdb");
  EXPECT_EQ(ini.ReadString("BDNames", "Name0", ""), "/ok0");
  EXPECT_EQ(ini.ReadString("BDNames", "Name1", "-"), "-");
  EXPECT_EQ(ini.ReadString("BDNames", "Name2", "-"), "-");
  EXPECT_EQ(ini.ReadString("Main", "Pass", "-"), "");

  // At close the same failure reaches the error display.
  Close();
  ASSERT_EQ(Prompts.Messages.size(), 1u);
  EXPECT_EQ(Prompts.Messages[0], "Unable to write to " + Dir.Path + "Quorvin.INI");
}

TEST_F(Settings, SavePlanIntoAFolderNamedLikeTheFileIsRefused) {
  Start();
  ASSERT_EQ(mkdir(IniPath().c_str(), 0700), 0);
  try {
    Controller->SavePlan();
    FAIL() << "no exception";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(e.Message, "Unable to write to " + IniPath());
  }
}

TEST_F(Settings, ProgramFolderGetsItsSeparatorAndTitleNamesTheFile) {
  const std::string noSlash = Dir.Path.substr(0, Dir.Path.size() - 1);
  TQuorvin q({}, noSlash, "Other");
  EXPECT_EQ(q.ProgramDir(), Dir.Path);
  EXPECT_EQ(q.IniPath(), Dir / "Other.INI");
}

}  // namespace

namespace {

TEST_F(Settings, UnreadableFileGivesDefaultsAndIsNeverWrittenOver) {
  // A folder in the file's place: it exists but reading it fails.
  ASSERT_EQ(mkdir(IniPath().c_str(), 0700), 0);
  TQuorvin& q = Start();
  EXPECT_EQ(q.Settings().User, "SYSDBA");
  EXPECT_EQ(q.Settings().BDNames.size(), 11u);
  q.Settings().DataBase = "/changed";
  Close();
  // No write was even tried: a tried one would have shown its failure.
  EXPECT_TRUE(Prompts.Messages.empty());
  EXPECT_TRUE(DirectoryExists(IniPath()));
}

}  // namespace
