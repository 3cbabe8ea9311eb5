// The copy on this computer in the controller: its two settings, what a
// backup with a copy hands the runner, how the outcome is judged, and the
// operation log lines of copies and of restores from them.

#include <gtest/gtest.h>

#include "job_fixture.h"
#include "platform/files.h"
#include "platform/profile_file.h"

namespace {

using Strings = std::vector<std::string>;
const std::string Stamp = "06.12.2026 в 12:15";
const std::string Suffix = "_06_12_26_12_15";

using LocalCopy = JobTest;

TEST_F(LocalCopy, SettingsAreOffWhenAbsentAndStoredOnlyOnceSet) {
  TQuorvin& q = Start();
  EXPECT_EQ(q.LocalCopyDir, "");
  EXPECT_FALSE(q.LocalCopyOnly);
  Close();
  EXPECT_EQ(Ini().find("LocalCopy"), std::string::npos);  // an older file stays as it was

  Start().LocalCopyDir = "/home/dba/copies";
  Controller->LocalCopyOnly = true;
  Close();
  EXPECT_EQ(ReadProfileValue(IniPath(), "Parameters", "LocalCopyDir"), "/home/dba/copies");
  EXPECT_EQ(ReadProfileValue(IniPath(), "Parameters", "LocalCopyOnly"), "1");
  EXPECT_EQ(Start().LocalCopyDir, "/home/dba/copies");
  EXPECT_TRUE(Controller->LocalCopyOnly);

  // Switched off again: the keys stay, saying "off".
  Controller->LocalCopyDir.clear();
  Controller->LocalCopyOnly = false;
  Close();
  EXPECT_EQ(ReadProfileValue(IniPath(), "Parameters", "LocalCopyDir"), "");
  EXPECT_EQ(ReadProfileValue(IniPath(), "Parameters", "LocalCopyOnly"), "0");
  EXPECT_EQ(Start().LocalCopyDir, "");
}

// What the stand-in job does with its copy: makes it (both files) or not.
std::function<bool(TSchedule&)> CopyJob(bool serverFile, bool copyMade, bool result) {
  return [=](TSchedule& job) {
    if (serverFile) WriteFileBytes(job.JobFile(2), "gbk");
    if (copyMade) {
      TLocalCopyInfo copy;
      copy.File = IncludeTrailingPathDelimiter(job.LocalCopyDir) + "Shop" + Suffix + ".gbk.zst";
      copy.ChecksumFile = copy.File + ".sha256";
      copy.Sha256 = std::string(64, 'a');
      WriteFileBytes(copy.File, "zst");
      WriteFileBytes(copy.ChecksumFile, copy.Sha256 + "  x\n");
      job.OnLocalCopyMade(copy);
    }
    return result;
  };
}

TEST_F(LocalCopy, BackupOutcomesWithTheirMessagesAndLogLines) {
  struct Row {
    const char* name;
    bool copyOnly;
    std::function<bool(TSchedule&)> job;
    bool succeeded;
    Strings events;
    bool serverLine;  // which "Резервная копия" line, if any: created or not
    bool copyLine;    // "Копия на этом компьютере" created or not
  };
  const Row rows[] = {
      {"server file and copy", false, CopyJob(true, true, true), true, {}, true, true},
      {"server file, copy failed", false, CopyJob(true, false, true), true,
       {"beep", "box:Errors were encountered during the copy on this computer"}, true, false},
      {"server failed, copy made", false, CopyJob(false, true, false), false,
       {"beep", "box:Errors were encountered during backup"}, false, true},
      {"copy only", true, CopyJob(false, true, true), true, {}, false, true},
      {"copy only, failed", true, CopyJob(false, false, false), false,
       {"beep", "box:Errors were encountered during backup"}, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TQuorvin& q = StartWithStandIn();
    const std::string copies = Dir / "copies";
    std::filesystem::create_directories(copies);
    WriteFileBytes(Dir / "Shop.gdb", "LIVE");
    q.DataBase = Dir / "Shop.gdb";
    q.LocalCopyDir = copies;
    q.LocalCopyOnly = row.copyOnly;
    Job = row.job;
    Events.Events.clear();
    const std::string serverFile = Dir / ("Shop" + Suffix + ".gbk");
    const std::string copy = copies + "/Shop" + Suffix + ".gbk.zst";

    EXPECT_EQ(q.Backup(), row.succeeded);
    EXPECT_EQ(Events.Events, row.events);
    Strings log;
    if (!row.copyOnly) log.push_back(Stamp + (row.serverLine ? " Резервная копия создана. " : " Резервная копия НЕ создана. ") + serverFile);
    log.push_back(Stamp + (row.copyLine ? " Копия на этом компьютере создана. " : " Копия на этом компьютере НЕ создана. ") + copy);
    EXPECT_EQ(LogAfterStart(), log);
    EXPECT_EQ(q.LastLocalCopy.has_value(), row.copyLine);
    if (q.LastLocalCopy) {
      EXPECT_EQ(q.LastLocalCopy->File, copy);
    }
    // With "copy only" the copy is the backup the window offers next.
    EXPECT_EQ(q.BackFile, row.copyOnly && row.succeeded ? copy : serverFile);
    if (row.succeeded) {
      EXPECT_EQ(q.LastBack, q.BackFile);
    }
    EXPECT_EQ(FileExists(serverFile), !row.copyOnly && row.serverLine);
    std::filesystem::remove_all(copies);
    std::filesystem::remove(serverFile);
    Close();
  }
}

TEST_F(LocalCopy, CopyOnlyNeverMovesAServerFileOfTheSameName) {
  TQuorvin& q = StartWithStandIn();
  q.AutoBackName = false;
  WriteFileBytes(Dir / "Shop.gdb", "LIVE");
  WriteFileBytes(Dir / "Shop.gbk", "OLDER");
  q.DataBase = Dir / "Shop.gdb";
  q.LocalCopyDir = Dir.Path;
  q.LocalCopyOnly = true;
  std::string seenCopyDir;
  bool seenCopyOnly = false;
  Job = [&](TSchedule& job) {
    seenCopyDir = job.LocalCopyDir;
    seenCopyOnly = job.LocalCopyOnly;
    EXPECT_EQ(ReadFileBytes(Dir / "Shop.gbk"), "OLDER");
    return false;
  };
  EXPECT_FALSE(q.Backup());
  EXPECT_EQ(seenCopyDir, Dir.Path);
  EXPECT_TRUE(seenCopyOnly);
  EXPECT_EQ(ReadFileBytes(Dir / "Shop.gbk"), "OLDER");
  EXPECT_EQ(FilesWith("Shop.gbk"), Strings{"Shop.gbk"});
}

TEST_F(LocalCopy, RestoreFromACopyIsNamedInTheLog) {
  TQuorvin& q = StartWithStandIn();
  q.RestoreSource = Dir / "Shop.gbk.zst";
  q.RestoreTarget = Dir / "Shop.gdb";
  Job = [](TSchedule& job) {
    EXPECT_EQ(job.JobKind, TSchedule::KindRestore);
    WriteFileBytes(job.JobFile(2), "RESTORED");
    return true;
  };
  EXPECT_TRUE(q.Restore());
  EXPECT_EQ(LogAfterStart(), (Strings{Stamp + " Восстановление из копии на этом компьютере. " + Dir / "Shop.gbk.zst",
                                      Stamp + " Резервная копия восстановлена. " + Dir / "Shop.gdb"}));
}

}  // namespace
