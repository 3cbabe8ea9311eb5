// The controller's history records and plan retention, with stand-in jobs.

#include <gtest/gtest.h>

#include <algorithm>

#include "controller/history/job_history.h"
#include "job_fixture.h"
#include "platform/files.h"

namespace {

using Strings = std::vector<std::string>;

class History : public JobTest {
 protected:
  TQuorvin& StartShop() {
    TQuorvin& q = StartWithStandIn();
    WriteFileBytes(Dir / "Shop.fdb", "LIVE");
    q.Settings().DataBase = Dir / "Shop.fdb";
    return q;
  }
  // A stand-in job that writes `content` into its target and answers `ok`.
  void Makes(std::string content, bool ok = true) { Job = Writes(std::move(content), ok); }
  static std::function<bool(TSchedule&)> Writes(std::string content, bool ok) {
    return [content, ok](TSchedule& job) {
      WriteFileBytes(job.JobFile(2), content);
      return ok;
    };
  }
};

TEST_F(History, PlanBackupsKeepTheNewestAndLogEveryRemovalAndEveryLostRecord) {
  TQuorvin& q = StartShop();
  q.Settings().KeepLastBackups = 2;
  const Strings old = {"Shop.fdb_06_12_26_10_00.gbk", "Shop.fdb_05_12_26_10_00.gbk"};
  for (const std::string& name : old) WriteFileBytes(Dir / name, "old");
  Makes("NEW");
  ASSERT_TRUE(q.Backup(Dir / "Shop.fdb")->Succeeded);  // a user's backup removes nothing
  EXPECT_TRUE(FileExists(Dir / old[1]));
  Clock.Advance(1.0 / 24);
  q.RunPlanBackup(q.PlanEntries().front());
  EXPECT_EQ(ReadHistory(q.HistoryPath()).back().By, HistoryByPlan);
  EXPECT_TRUE(FileExists(Dir / "Shop.fdb_06_12_26_12_15.gbk") && FileExists(Dir / "Shop.fdb_06_12_26_13_15.gbk"));
  const Strings log = LogAfterStart();
  for (const std::string& name : old) {
    EXPECT_FALSE(FileExists(Dir / name));
    EXPECT_NE(std::find(log.begin(), log.end(), "06.12.2026 в 13:15 Удалена старая резервная копия. " + Dir / name),
              log.end());
  }
  EXPECT_EQ(log.back(), "---");
  // A failed plan backup removes nothing; a folder that cannot be listed is
  // said so.
  WriteFileBytes(Dir / old[0], "old");
  Clock.Advance(1.0 / 24);
  Makes("NEW", false);
  q.RunPlanBackup(q.PlanEntries().front());
  EXPECT_TRUE(FileExists(Dir / old[0]));
  TBackupOutcome elsewhere;
  elsewhere.Name.BackDir = Dir / "gone/";
  q.Jobs().ApplyRetention(q.Settings(), elsewhere);
  EXPECT_EQ(LogAfterStart().back(),
            "06.12.2026 в 14:15 Папка резервных копий недоступна, старые копии не удалены. " + Dir / "gone/");
  // A history that cannot be written is said in the operation log: its
  // name leads into a folder that does not exist.
  std::filesystem::remove(q.HistoryPath());
  std::filesystem::create_symlink(Dir / "no-such-folder/history.jsonl", q.HistoryPath());
  Makes("GBK");
  EXPECT_TRUE(q.Backup(Dir / "Shop.fdb")->Succeeded);
  EXPECT_EQ(LogAfterStart().back(), "06.12.2026 в 14:15 Не удалось записать историю заданий. " + q.HistoryPath());
}

}  // namespace
