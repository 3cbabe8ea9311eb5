// The copy on this computer in the controller: how a backup with a copy is
// judged, and its operation log lines.

#include <gtest/gtest.h>

#include "controller/history/job_history.h"
#include "job_fixture.h"
#include "platform/files.h"

namespace {

using Strings = std::vector<std::string>;
const std::string Stamp = "06.12.2026 в 12:15";
using LocalCopy = JobTest;

TEST_F(LocalCopy, BackupOutcomesWithTheirMessagesAndLogLines) {
  struct Row {
    bool copyOnly, serverMade, copyMade, succeeded;
    Strings events;
  };
  const Row rows[] = {
      {false, true, true, true, {}},
      {false, true, false, true, {"beep", "box:Errors were encountered during the copy on this computer"}},
      {false, false, true, false, {"beep", "box:Errors were encountered during backup"}},
      {true, false, true, true, {}},
      {true, false, false, false, {"beep", "box:Errors were encountered during backup"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.copyOnly << row.serverMade << row.copyMade);
    TQuorvin& q = StartWithStandIn();
    q.Settings().AutoBackName = false;
    WriteFileBytes(Dir / "Shop.gdb", "LIVE");
    q.Settings().DataBase = Dir / "Shop.gdb";
    q.Settings().LocalCopyDir = Dir / "copies";
    q.Settings().LocalCopyOnly = row.copyOnly;
    const std::string serverFile = Dir / "Shop.gbk", copy = Dir / "copies/Shop.gbk.zst";
    Job = [&](TJobRunner& job) {
      if (row.serverMade) WriteFileBytes(TargetOf(job.Job()).Get(), "gbk");
      if (row.copyMade) {
        std::filesystem::create_directories(job.Job().Destination.LocalCopyDir);
        WriteFileBytes(copy, "zst");
        job.OnLocalCopyMade(TLocalCopyInfo{copy, copy + ".sha256", std::string(64, 'a'), 3, 3});
      }
      return row.copyOnly ? row.copyMade : row.serverMade;
    };
    Events.Events.clear();
    const TBackupOutcome outcome = BackupNow();
    EXPECT_EQ(outcome.Succeeded, row.succeeded);
    EXPECT_EQ(Events.Events, row.events);
    Strings log;
    if (!row.copyOnly)
      log.push_back(Stamp + (row.serverMade ? " Резервная копия создана. " : " Резервная копия НЕ создана. ") +
                    serverFile);
    // The copy of a backup that failed is not kept: it is no copy made.
    const bool kept = row.copyMade && row.succeeded;
    log.push_back(Stamp + (kept ? " Копия на этом компьютере создана. " : " Копия на этом компьютере НЕ создана. ") +
                  copy);
    if (!row.succeeded) log.push_back(Stamp + " Причина: Errors were encountered during backup");
    EXPECT_EQ(LogAfterStart(), log);
    EXPECT_EQ(outcome.Copy.has_value(), kept);
    EXPECT_EQ(FileExists(copy), kept);
    EXPECT_EQ(FileExists(copy + ".failed"), row.copyMade && !kept);
    // With "copy only" the copy is the backup the window offers next.
    EXPECT_EQ(outcome.BackFile, row.copyOnly && row.succeeded ? copy : serverFile);
    std::filesystem::remove_all(Dir / "copies");
    std::filesystem::remove(serverFile);
    Close();
  }
}

// A copy only that fails its verification (restored from this computer into
// a database where the server writes) is set aside as ".failed" with its
// checksum file, and the older copy is back. (Verifications that pass, of
// the server's file or of the copy: the real-engine history tests.)
TEST_F(LocalCopy, ACopyThatFailsItsVerificationIsSetAside) {
  TQuorvin& q = StartWithStandIn();
  q.Settings().AutoBackName = false;
  q.Settings().VerifyBackup = true;
  WriteFileBytes(Dir / "Shop.gdb", "LIVE");
  q.Settings().DataBase = Dir / "Shop.gdb";
  q.Settings().LocalCopyDir = Dir / "copies";
  q.Settings().LocalCopyOnly = true;
  const std::string copy = Dir / "copies/Shop.gbk.zst", sum = copy + ".sha256";
  std::filesystem::create_directories(q.Settings().LocalCopyDir);
  WriteFileBytes(copy, "OLD");
  WriteFileBytes(sum, "OLD SUM");
  Job = [&](TJobRunner& job) {
    if (job.Job().Kind == TJobKind::Restore) return false;
    WriteFileBytes(copy, "zstd");
    WriteFileBytes(sum, "SUM");
    job.OnLocalCopyMade(TLocalCopyInfo{copy, sum, std::string(64, 'a'), 9, 4});
    return true;
  };
  EXPECT_FALSE(BackupNow().Succeeded);
  ASSERT_EQ(Jobs.size(), 2u);
  EXPECT_EQ(Jobs[1].File1, copy);
  EXPECT_EQ(Jobs[1].File2.rfind(Dir / "Shop.gbk.verify-", 0), 0u);
  EXPECT_EQ(ReadFileBytes(copy), "OLD");
  EXPECT_EQ(ReadFileBytes(sum), "OLD SUM");
  EXPECT_EQ(ReadFileBytes(copy + ".failed") + ReadFileBytes(sum + ".failed"), "zstdSUM");
  EXPECT_FALSE(ReadHistory(q.HistoryPath()).back().Succeeded());
}

}  // namespace
