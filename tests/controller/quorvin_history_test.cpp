// The controller's history records and plan retention, with stand-in jobs.

#include <gtest/gtest.h>

#include <algorithm>

#include "controller/history/job_history.h"
#include "job_fixture.h"
#include "platform/files.h"
#include "runner/job_paths.h"

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
  static std::function<bool(TJobRunner&)> Writes(std::string content, bool ok) {
    return [content, ok](TJobRunner& job) {
      WriteFileBytes(TargetOf(job.Job()).Get(), content);
      return ok;
    };
  }
};

// Retention removes only what the history knows as this database's plan
// backups, on the server and on this computer alike: never a backup made
// with the button, nor one of another database whose name shares the base
// name, nor the newest.
TEST_F(History, PlanBackupsKeepTheNewestAndLogEveryRemovalAndEveryLostRecord) {
  TQuorvin& q = StartShop();
  q.Settings().KeepLastBackups = 2;
  q.Settings().LocalCopyDir = Dir / "copies";
  std::filesystem::create_directory(Dir / "copies");
  Job = [](TJobRunner& job) {
    WriteFileBytes(TargetOf(job.Job()).Get(), "NEW");
    const std::string copy =
        job.Job().Destination.LocalCopyDir + "/" + LastPathComponent(TargetOf(job.Job()).Get()) + ".zst";
    WriteFileBytes(copy, "ZST");
    WriteFileBytes(copy + ".sha256", "SUM");
    job.OnLocalCopyMade(TLocalCopyInfo{copy, copy + ".sha256", std::string(64, 'a'), 3, 3});
    return true;
  };
  // Three backups with the button; a backup of "Shop" (another database)
  // by the plan, written under the same base name.
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(q.Backup(Dir / "Shop.fdb")->Succeeded);
    Clock.Advance(1.0 / 24);
  }
  THistoryRecord other;
  other.Start = "2026-12-06T15:15:00+00:00";
  other.Kind = HistoryKindBackup;
  other.By = HistoryByPlan;
  other.Outcome = HistorySuccess;
  other.Database = Dir / "Shop";
  other.File = Dir / "Shop.fdb_06_12_26_15_15.gbk";
  WriteFileBytes(other.File, "OTHER");
  ASSERT_TRUE(AppendHistory(q.HistoryPath(), other));
  Clock.Advance(1.0 / 24);
  const Strings byHand = {"Shop.fdb_06_12_26_12_15.gbk", "Shop.fdb_06_12_26_13_15.gbk", "Shop.fdb_06_12_26_14_15.gbk"};
  for (int i = 0; i < 3; ++i) {
    OnFrontEnd([&] { q.RunPlanBackup(q.PlanEntries().front()); });
    Clock.Advance(1.0 / 24);
  }
  // The plan's 16:15 went, its 17:15 and 18:15 stay; so does every other file.
  for (const std::string& name : byHand) EXPECT_TRUE(FileExists(Dir / name)) << name;
  EXPECT_TRUE(FileExists(other.File));
  EXPECT_FALSE(FileExists(Dir / "Shop.fdb_06_12_26_16_15.gbk"));
  EXPECT_FALSE(FileExists(Dir / "copies/Shop.fdb_06_12_26_16_15.gbk.zst"));
  EXPECT_FALSE(FileExists(Dir / "copies/Shop.fdb_06_12_26_16_15.gbk.zst.sha256"));
  for (const char* kept : {"Shop.fdb_06_12_26_17_15.gbk", "Shop.fdb_06_12_26_18_15.gbk"}) {
    EXPECT_TRUE(FileExists(Dir / kept)) << kept;
    EXPECT_TRUE(FileExists(Dir / ("copies/" + std::string(kept) + ".zst"))) << kept;
  }
  const Strings log = LogAfterStart();
  for (const std::string& line :
       {"06.12.2026 в 18:15 Удалена старая резервная копия. " + Dir / "Shop.fdb_06_12_26_16_15.gbk",
        "06.12.2026 в 18:15 Удалена старая копия на этом компьютере. " +
            Dir / "copies/Shop.fdb_06_12_26_16_15.gbk.zst"})
    EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
  EXPECT_EQ(log.back(), "---");
  // A failed plan backup removes nothing; a folder that cannot be listed is
  // said so.
  Job = Writes("NEW", false);
  OnFrontEnd([&] { q.RunPlanBackup(q.PlanEntries().front()); });
  EXPECT_TRUE(FileExists(Dir / "Shop.fdb_06_12_26_17_15.gbk"));
  TBackupOutcome elsewhere;
  elsewhere.Name.BackDir = Dir / "gone/";
  q.Settings().LocalCopyDir.clear();
  q.Jobs().ApplyRetention(q.Settings(), elsewhere);
  EXPECT_EQ(LogAfterStart().back(),
            "06.12.2026 в 19:15 Папка резервных копий недоступна, старые копии не удалены. " + Dir / "gone/");
  // A history that cannot be written is said in the operation log: its
  // name leads into a folder that does not exist.
  std::filesystem::remove(q.HistoryPath());
  std::filesystem::create_symlink(Dir / "no-such-folder/history.jsonl", q.HistoryPath());
  Makes("GBK");
  EXPECT_TRUE(q.Backup(Dir / "Shop.fdb")->Succeeded);
  EXPECT_EQ(LogAfterStart().back(), "06.12.2026 в 19:15 Не удалось записать историю заданий. " + q.HistoryPath());
}

// The files of failed plan backups (renamed ".failed") follow the same
// rules: after three failures and a success with "keep the newest 2", the
// newest two failed files stay and the oldest goes, with its log line.
TEST_F(History, FailedPlanBackupsAreKeptByTheRetentionRulesToo) {
  TQuorvin& q = StartShop();
  q.Settings().KeepLastBackups = 2;
  Makes("BAD", false);
  for (int i = 0; i < 3; ++i) {
    OnFrontEnd([&] { q.RunPlanBackup(q.PlanEntries().front()); });
    Clock.Advance(1.0 / 24);
  }
  const Strings failed = {"Shop.fdb_06_12_26_12_15.gbk.failed", "Shop.fdb_06_12_26_13_15.gbk.failed",
                          "Shop.fdb_06_12_26_14_15.gbk.failed"};
  for (const std::string& name : failed) ASSERT_TRUE(FileExists(Dir / name)) << name;
  // A failed backup by hand is no plan backup: it stays.
  q.Backup(Dir / "Shop.fdb");
  ASSERT_TRUE(FileExists(Dir / "Shop.fdb_06_12_26_15_15.gbk.failed"));
  Clock.Advance(1.0 / 24);
  Makes("NEW");
  OnFrontEnd([&] { q.RunPlanBackup(q.PlanEntries().front()); });
  EXPECT_FALSE(FileExists(Dir / failed[0]));
  EXPECT_TRUE(FileExists(Dir / failed[1]) && FileExists(Dir / failed[2]));
  EXPECT_TRUE(FileExists(Dir / "Shop.fdb_06_12_26_15_15.gbk.failed"));
  const Strings log = LogAfterStart();
  const std::string line = "06.12.2026 в 16:15 Удалена старая неудачная резервная копия. " + Dir / failed[0];
  EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
}

}  // namespace
