// History records, progress, retention, verification and the restore's check
// of its source, with stand-in jobs.

#include <gtest/gtest.h>

#include <algorithm>

#include "controller/job_history.h"
#include "job_fixture.h"
#include "platform/files.h"
#include "platform/sha256.h"

namespace {

using Strings = std::vector<std::string>;

class History : public JobTest {
 protected:
  TQuorvin& StartShop() {
    TQuorvin& q = StartWithStandIn();
    WriteFileBytes(Dir / "Shop.fdb", "LIVE");
    q.DataBase = Dir / "Shop.fdb";
    q.AutoBackName = true;
    return q;
  }
  // A stand-in backup or restore: `lines` of output, then `content` in its
  // target file.
  std::function<bool(TSchedule&)> Emits(Strings lines, std::string content, bool result = true) {
    return [this, lines, content, result](TSchedule& job) {
      for (const std::string& line : lines) {
        job.OnOutputLine(line);
        Seen.push_back(Controller->JobProgress());
      }
      WriteFileBytes(job.JobFile(2), content);
      return result;
    };
  }
  std::vector<THistoryRecord> Records() const { return ReadHistory(Controller->HistoryPath()); }

  std::vector<std::optional<TJobProgress>> Seen;
};

TEST_F(History, EveryJobLeavesOneRecordAndTheNextOneAnEstimate) {
  TQuorvin& q = StartShop();
  Job = Emits({"a", "b", "c", "d"}, "GBK1");
  ASSERT_TRUE(q.Backup());
  // A first run has nothing to go by.
  EXPECT_TRUE(std::all_of(Seen.begin(), Seen.end(), [](const auto& p) { return !p.has_value(); }));
  Seen.clear();
  Clock.Advance(1.0 / 24);
  Job = Emits({"a", "b", "c", "d", "e", "f"}, "GBK22", false);
  EXPECT_FALSE(q.Backup());
  ASSERT_EQ(Seen.size(), 6u);
  EXPECT_EQ(Seen[1]->Percent, 50);  // 2 of the last good backup's 4 lines
  EXPECT_EQ(Seen[5]->Percent, 99);
  EXPECT_FALSE(q.JobProgress().has_value());  // no job, no estimate

  const auto records = Records();
  ASSERT_EQ(records.size(), 2u);
  const THistoryRecord& good = records[0];
  EXPECT_EQ(good.Kind, HistoryKindBackup);
  EXPECT_EQ(good.By, HistoryByUser);
  EXPECT_EQ(good.Database, q.DataBase);
  EXPECT_EQ(good.Outcome, HistorySuccess);
  EXPECT_EQ(good.Size, 4u);
  EXPECT_EQ(good.Sha256, Sha256Hex("GBK1"));
  EXPECT_EQ(good.Lines, 4u);
  EXPECT_EQ(good.Start.substr(0, 19), "2026-12-06T12:15:20");
  const THistoryRecord& bad = records[1];
  EXPECT_EQ(bad.Outcome, HistoryFailure);
  EXPECT_EQ(bad.Reason, "Errors were encountered during backup");
  EXPECT_EQ(bad.Lines, 6u);
  EXPECT_FALSE(bad.Size.has_value());
}

TEST_F(History, AHistoryThatCannotBeWrittenIsSaidInTheOperationLog) {
  TQuorvin& q = StartShop();
  q.HistoryName = "no-such-folder/history.jsonl";
  Job = Emits({}, "GBK");
  EXPECT_TRUE(q.Backup());
  EXPECT_EQ(LogAfterStart().back(), "06.12.2026 в 12:15 Не удалось записать историю заданий. " + q.HistoryPath());
}

TEST_F(History, PlanBackupsKeepTheNewestAndLogEveryRemoval) {
  TQuorvin& q = StartShop();
  q.KeepLastBackups = 2;
  for (const char* old : {"Shop.fdb_06_12_26_10_00.gbk", "Shop.fdb_05_12_26_10_00.gbk", "Shop.fdb_04_12_26_10_00.gbk",
                          "Shop.fdb_04_12_26_10_00.gbk.failed", "Other.fdb_01_12_26_10_00.gbk"})
    WriteFileBytes(Dir / old, "old");
  // A user's backup never removes anything.
  Job = Emits({}, "NEW");
  ASSERT_TRUE(q.Backup());
  EXPECT_TRUE(FileExists(Dir / "Shop.fdb_04_12_26_10_00.gbk"));
  Clock.Advance(1.0 / 24);
  q.RunPlanBackup();
  EXPECT_EQ(Records().back().By, HistoryByPlan);
  Strings names;
  for (const auto& entry : std::filesystem::directory_iterator(Dir.Path))
    if (entry.path().extension() == ".gbk" || entry.path().extension() == ".failed")
      names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Strings{"Other.fdb_01_12_26_10_00.gbk", "Shop.fdb_04_12_26_10_00.gbk.failed",
                            "Shop.fdb_06_12_26_12_15.gbk", "Shop.fdb_06_12_26_13_15.gbk"}));
  const Strings log = LogAfterStart();
  const std::string stamp = "06.12.2026 в 13:15 Удалена старая резервная копия. ";
  for (const char* removed :
       {"Shop.fdb_06_12_26_10_00.gbk", "Shop.fdb_05_12_26_10_00.gbk", "Shop.fdb_04_12_26_10_00.gbk"})
    EXPECT_NE(std::find(log.begin(), log.end(), stamp + Dir / removed), log.end()) << removed;
  // The lines come between the outcome line and "---".
  EXPECT_EQ(log.back(), "---");
  // A failed plan backup removes nothing.
  WriteFileBytes(Dir / "Shop.fdb_01_12_26_10_00.gbk", "old");
  Clock.Advance(1.0 / 24);
  Job = Emits({}, "NEW", false);
  q.RunPlanBackup();
  EXPECT_TRUE(FileExists(Dir / "Shop.fdb_01_12_26_10_00.gbk"));
}

TEST_F(History, VerificationDecidesWhetherTheBackupCounts) {
  struct Row {
    bool restored;
    std::string restoredRows;
    bool passes;
  };
  const Row rows[] = {{true, "3 records restored", true}, {true, "2 records restored", false}, {false, "", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.restoredRows);
    TQuorvin& q = StartShop();
    q.AutoBackName = false;
    q.VerifyBackup = true;
    WriteFileBytes(Dir / "Shop.fdb.gbk", "PREVIOUS");
    std::string temporary;
    Job = [&](TSchedule& job) {
      if (job.JobKind == TSchedule::KindBackup)
        return Emits({"writing data for table T", "3 records written"}, "NEW")(job);
      temporary = job.JobFile(2);
      EXPECT_EQ(job.JobFile(1), Dir / "Shop.fdb.gbk");
      EXPECT_FALSE(job.StopDatabase);
      return Emits({"restoring data for table T", row.restoredRows}, "TEST DB", row.restored)(job);
    };
    Events.Events.clear();
    EXPECT_EQ(q.Backup(), row.passes);
    EXPECT_EQ(temporary.rfind(Dir / "Shop.fdb.gbk.verify-", 0), 0u) << temporary;
    EXPECT_FALSE(FileExists(temporary));
    EXPECT_EQ(ReadFileBytes(Dir / "Shop.fdb.gbk"), row.passes ? "NEW" : "PREVIOUS");
    EXPECT_EQ(FileExists(Dir / "Shop.fdb.gbk.failed"), !row.passes);
    const auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Kind, HistoryKindVerify);
    EXPECT_EQ(records[1].Kind, HistoryKindBackup);
    EXPECT_EQ(records[0].Sha256, Sha256Hex("NEW"));
    for (const THistoryRecord& r : records) EXPECT_EQ(r.Succeeded(), row.passes);
    if (!row.passes) {
      EXPECT_EQ(records[1].Reason.rfind("Verification by test restore failed: ", 0), 0u) << records[1].Reason;
      EXPECT_NE(std::find(Events.Events.begin(), Events.Events.end(), "box:Errors were encountered during backup"),
                Events.Events.end());
    }
    Close();
    std::filesystem::remove(Dir / "Shop.fdb.gbk.failed");
    std::filesystem::remove(Dir / HistoryFileName("Quorvin"));
  }
}

TEST_F(History, ARestoreFromABackupChangedSinceItWasMadeIsRefused) {
  TQuorvin& q = StartShop();
  q.AutoBackName = false;
  Job = Emits({}, "GOOD BACKUP");
  ASSERT_TRUE(q.Backup());
  q.RestoreSource = q.BackFile;
  q.RestoreTarget = Dir / "Copy.fdb";
  const std::string refusal = "Файл резервной копии изменён или обрезан после создания: " + q.BackFile;
  // Other bytes of the same size, and the file cut short.
  for (const char* changed : {"GOOD BACKUp", "GOOD"}) {
    WriteFileBytes(q.BackFile, changed);
    Jobs.clear();
    Events.Events.clear();
    EXPECT_FALSE(q.Restore());
    EXPECT_TRUE(Jobs.empty());
    EXPECT_EQ(Events.Events.back(), "box:" + refusal);
    EXPECT_EQ(LogAfterStart().back(), "06.12.2026 в 12:15 Восстановление отменено. " + refusal);
    EXPECT_EQ(Records().back().Reason, refusal);
  }
  // The file as it was made, and a file the history does not know, restore.
  for (const std::string& source : {q.BackFile, Dir / "Hand.gbk"}) {
    WriteFileBytes(source, "GOOD BACKUP");
    q.RestoreSource = source;
    Jobs.clear();
    Job = Emits({}, "DB");
    EXPECT_TRUE(q.Restore()) << source;
    EXPECT_EQ(Jobs.size(), 1u);
    EXPECT_EQ(Records().back().Sha256, Sha256Hex("GOOD BACKUP"));
  }
}

}  // namespace
