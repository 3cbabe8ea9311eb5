// The plan edited outside the window: entries added, changed and removed in
// a settings file written by hand, every key nobody changed keeping its
// bytes; entries named by number or database.

#include "controller/plan_editor/plan_editor.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "platform/temp_folder.h"

namespace {

// A hand-kept file: a comment, blanks around "=", times without seconds,
// keys the program does not know, a login of entry 2's own.
const std::string Base =
    "; Quorvin settings, kept by hand\n"
    "[Main]\nDataBase=/srv/db/shop.fdb\nUser = SYSDBA\nPass=\n"
    "[Parameters]\nProtocol=3\nBackShutDown=1\nAutoBackName=1\nRememberPass=0\n"
    "[Plan]\nDay1Back=1\nDay2Back=1\nDay3Back=1\nDay4Back=1\nDay5Back=1\nDayPeriodBack=3\nNightPeriodBack=7\n"
    "DayBeginBack = 8:00\nNightBeginBack=20:00:00\nNightClockBack=2:30\nKeepLastBackups=7\n"
    "DataBase=/srv/db/shop.fdb\n"
    "[Plan2]\nDataBase=\\\\dbhost\\D$\\data\\stock.gdb\nProtocol=0\nDay6Back=1\nNightPeriodBack=7\n"
    "NightClockBack=03:00:00\nKeepBackupDays=14\nUser=STOCK\nPass=st0ck\n"
    "[Plan3]\nDataBase=/srv/db/hr.fdb\nProtocol=3\nBackShutDown=0\nDay1Back=1\nNightPeriodBack=6\nExtra=kept\n";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

class PlanEditor : public ::testing::Test {
 protected:
  // One edit of the file as it is now, written back.
  void Edit(const std::function<void(TPlanEditor&)>& edit) {
    TSettings settings;
    TSettingsFile file(Path);
    file.ReadIni(settings);
    TPlanEditor editor(settings);
    edit(editor);
    editor.Save(file);
    // What was written reads back as the editor has it.
    TSettings again;
    TSettingsFile(Path).ReadIni(again);
    const std::vector<TPlanEntry> read = PlanEntriesOf(again);
    ASSERT_EQ(read.size(), editor.Entries().size());
    for (std::size_t i = 0; i < read.size(); ++i) {
      EXPECT_EQ(read[i].DataBase, editor.Entries()[i].DataBase);
      EXPECT_EQ(read[i].PlanRecord.NightPeriodBack, editor.Entries()[i].PlanRecord.NightPeriodBack);
      EXPECT_EQ(JobOptionsOf(read[i], again).Pass, JobOptionsOf(editor.Entries()[i], settings).Pass);
    }
  }
  void SetUp() override { WriteFileBytes(Path, Base); }
  std::string Bytes() const { return ReadFileBytes(Path); }

  TTempFolder Folder;
  std::string Path = Folder / "Quorvin.INI";
};

TEST_F(PlanEditor, EditsWriteOnlyWhatTheyChangeAndKeepEveryOtherByte) {
  // A change of entry 2: one line.
  Edit([](TPlanEditor& e) {
    TEntryChanges keep;
    keep.KeepDays = 30;
    e.Change(1, keep);
  });
  std::string expected = Replaced(Base, "KeepBackupDays=14", "KeepBackupDays=30");
  ASSERT_EQ(Bytes(), expected);

  // Entry 2 removed: its section goes, entry 3's keeps its lines under the
  // name of entry 2.
  Edit([](TPlanEditor& e) { e.Remove(e.IndexOf("\\\\dbhost\\D$\\data\\stock.gdb")); });
  expected = Replaced(
      expected, expected.substr(expected.find("[Plan2]"), expected.find("[Plan3]") - expected.find("[Plan2]")), "");
  expected = Replaced(expected, "[Plan3]", "[Plan2]");
  ASSERT_EQ(Bytes(), expected);

  // An entry added: a section of its own at the end, with the program's
  // options; the file before it as it was.
  Edit([](TPlanEditor& e) {
    TEntryChanges plan;
    plan.Rhythms[0].Days = std::array<bool, 7>{true, false, false, false, false, false, false};
    plan.Rhythms[0].NightClock = EncodeTime(1, 0, 0, 0);
    EXPECT_EQ(e.Add("/srv/db/new.fdb", plan), 2u);
  });
  const std::string added = Bytes();
  ASSERT_EQ(added.substr(0, expected.size()), expected);
  EXPECT_EQ(added.substr(expected.size(), 45), "\n[Plan3]\nDataBase=/srv/db/new.fdb\nProtocol=3\n");
  EXPECT_NE(added.find("\nDay1Back=1\nDay2Back=0\n", expected.size()), std::string::npos);
  EXPECT_NE(added.find("\nNightPeriodBack=7\n", expected.size()), std::string::npos);
  EXPECT_NE(added.find("\nNightClockBack=01:00:00\n", expected.size()), std::string::npos);
  EXPECT_EQ(added.find("User=", expected.size()), std::string::npos) << "the program's login, none of its own";

  // Entry 1's login is the program's, remembered from now on.
  Edit([](TPlanEditor& e) {
    TEntryChanges login;
    login.User = "ADMIN";
    login.Pass = " se=cret ";
    e.Change(0, login);
  });
  expected = Replaced(added, "User = SYSDBA\nPass=\n", "User=ADMIN\nPass=\" se=cret \"\n");
  expected = Replaced(expected, "RememberPass=0", "RememberPass=1");
  ASSERT_EQ(Bytes(), expected);

  // Entry 1 removed: hr.fdb is the first, its options the program's, its
  // plan the plan's; the program's login stays.
  Edit([](TPlanEditor& e) { e.Remove(0); });
  const std::string plan = expected.substr(expected.find("[Plan]"), expected.find("[Plan2]") - expected.find("[Plan]"));
  const std::string second =
      expected.substr(expected.find("[Plan2]"), expected.find("\n[Plan3]") + 1 - expected.find("[Plan2]"));
  expected = Replaced(expected, plan,
                      "[Plan]\nDay1Back=1\nDay2Back=0\nDay3Back=0\nDay4Back=0\nDay5Back=0\nDayPeriodBack=0\n"
                      "NightPeriodBack=6\nDayBeginBack=00:00:00\nNightBeginBack=00:00:00\nNightClockBack=00:00:00\n"
                      "KeepLastBackups=0\nDataBase=/srv/db/hr.fdb\n");
  expected = Replaced(expected, second, "");
  expected = Replaced(expected, "[Plan3]", "[Plan2]");
  expected = Replaced(expected, "BackShutDown=1", "BackShutDown=0");
  ASSERT_EQ(Bytes(), expected);

  // The last entries removed: an empty plan, whose first line stays.
  Edit([](TPlanEditor& e) { e.Remove(1); });
  Edit([](TPlanEditor& e) { e.Remove(0); });
  TSettings empty;
  TSettingsFile(Path).ReadIni(empty);
  ASSERT_EQ(PlanEntriesOf(empty).size(), 1u);
  EXPECT_EQ(PlanEntriesOf(empty).front().DataBase, "");
  EXPECT_FALSE(PlanOnAnyDay(empty.PlanRecord));
  EXPECT_EQ(empty.User, "ADMIN");
  EXPECT_THROW(Edit([](TPlanEditor& e) { e.Remove(0); }), EPlanEdit);
}

TEST_F(PlanEditor, EntriesAreNamedByNumberOrDatabaseAndOwnLoginsComeAndGo) {
  TSettings settings;
  TSettingsFile(Path).ReadIni(settings);
  TPlanEditor editor(settings);
  struct Row {
    std::string name;
    std::optional<std::size_t> index;
    std::string says;
  } const rows[] = {
      {"1", 0, ""},
      {"3", 2, ""},
      {"/srv/db/hr.fdb", 2, ""},
      {"/srv/db/./x/../hr.fdb", 2, ""},
      {"\\\\dbhost\\D$\\data\\stock.gdb", 1, ""},
      {"0", std::nullopt, "no entry 0: the plan has 3 entries"},
      {"4", std::nullopt, "no entry 4"},
      {"/srv/db/none.fdb", std::nullopt, "no entry of the plan backs up /srv/db/none.fdb"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    try {
      EXPECT_EQ(editor.IndexOf(row.name), row.index.value_or(99));
      EXPECT_TRUE(row.says.empty());
    } catch (const EPlanEdit& error) {
      EXPECT_FALSE(row.index.has_value());
      EXPECT_NE(error.Message.find(row.says), std::string::npos) << error.Message;
    }
  }
  TEntryChanges twice;
  twice.Rhythms[0].Days = std::array<bool, 7>{};
  editor.Add("/srv/db/hr.fdb", twice);
  EXPECT_THROW(editor.IndexOf("/srv/db/hr.fdb"), EPlanEdit);
  EXPECT_EQ(editor.IndexOf("4"), 3u);

  // Entry 2 gives up its own login for the program's, then takes one
  // again; entry 1 always has the program's.
  TEntryChanges program;
  program.ProgramLogin = true;
  editor.Change(1, program);
  TSettingsFile file(Path);
  editor.Save(file);
  EXPECT_EQ(Bytes().find("User=STOCK"), std::string::npos);
  EXPECT_EQ(Bytes().find("Pass=st0ck"), std::string::npos);
  EXPECT_THROW(editor.Change(0, program), EPlanEdit);
  TEntryChanges copyOnly;
  copyOnly.CopyOnly = true;
  EXPECT_THROW(editor.Change(1, copyOnly), EPlanEdit);

  TPlanEntry entry = editor.Entries()[1];
  EXPECT_EQ(EntryWarnings(entry), std::vector<std::string>());
  entry.PlanRecord.NightPeriodBack = 0;
  EXPECT_EQ(EntryWarnings(entry), std::vector<std::string>{"its plan has no rhythm: it makes no backups"});
  entry.PlanRecord.DayPeriodBack = 2;
  const std::string allNight =
      "its plan's day rhythm can never run: the night (--night 00:00) does not start after the day (--day 00:00), "
      "so the night window lasts all day";
  EXPECT_EQ(EntryWarnings(entry).front(), allNight);
  EXPECT_EQ(RhythmRefusals(entry), std::vector<std::string>{allNight});
  entry.PlanRecord.DayBeginBack = EncodeTime(8, 0, 0, 0);
  entry.PlanRecord.NightBeginBack = EncodeTime(20, 0, 0, 0);
  entry.PlanRecord.DayPeriodBack = 7;
  entry.PlanRecord.DayClockBack = EncodeTime(21, 30, 0, 0);
  EXPECT_EQ(RhythmRefusals(entry),
            std::vector<std::string>{"its plan's day rhythm can never run: 21:30 is outside the day window "
                                     "(08:00-20:00)"});
  EXPECT_EQ(EntryWarnings(editor.Entries()[3]),
            std::vector<std::string>{"its plan is on no weekday: it makes no backups"});
  EXPECT_EQ(RhythmRefusals(editor.Entries()[3]), std::vector<std::string>());
}

TEST_F(PlanEditor, AnEntryAddedWhereNoFileIsKeepsTheFirstStartsProtocol) {
  const std::string path = Folder / "New.INI";
  TSettings settings;
  TSettingsFile file(path);
  file.ReadIni(settings);
  TPlanEditor editor(settings);
  editor.Add("/srv/db/first.fdb", TEntryChanges());
  editor.Save(file);
  TSettings again;
  TSettingsFile(path).ReadIni(again);
  EXPECT_EQ(again.Protocol, FirstStartProtocol);
  EXPECT_EQ(PlanEntriesOf(again).front().DataBase, "/srv/db/first.fdb");
  EXPECT_EQ(again.User, "SYSDBA");
  EXPECT_NE(ReadFileBytes(path).find("[Parameters]\nProtocol=0\n"), std::string::npos) << ReadFileBytes(path);
}

}  // namespace
