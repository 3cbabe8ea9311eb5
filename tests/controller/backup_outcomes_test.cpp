// What the history says at a glance: the newest outcome of each database and
// the failures not seen yet, followed as the file grows, and the status texts
// and the attention they make.

#include "controller/history/backup_outcomes.h"

#include <gtest/gtest.h>

#include "controller/status_texts.h"
#include "controller_fixture.h"
#include "platform/files.h"
#include "platform/iso_time.h"

namespace {

// A local moment on Monday 7 December 2026 as the history writes it.
std::string At(int hour, int minute, int second = 0) {
  return FormatIso8601(EncodeDate(2026, 12, 7) + EncodeTime(hour, minute, second, 0));
}

THistoryRecord Backup(const std::string& database, const std::string& end, bool ok, const char* reason = "",
                      const char* kind = HistoryKindBackup) {
  THistoryRecord r;
  r.Start = end;
  r.End = end;
  r.Kind = kind;
  r.By = HistoryByPlan;
  r.Database = database;
  r.Outcome = ok ? HistorySuccess : HistoryFailure;
  r.Reason = reason;
  return r;
}

std::vector<std::string> Failing(const TBackupOutcomes& outcomes) {
  std::vector<std::string> names;
  for (const TDatabaseOutcome* outcome : outcomes.WithUnseenFailures())
    names.push_back(outcome->Database + " " + std::to_string(outcome->UnseenCount));
  return names;
}

using Strings = std::vector<std::string>;
using StatusTexts = ControllerTest;

// Only what was appended is read; a line still being written waits for its
// end; a file put in its place or cut short is read afresh; a removed one
// leaves nothing.
TEST(BackupOutcomes, FollowsTheFileAsItGrows) {
  TTempFolder dir;
  const std::string path = dir / "Quorvin.history.jsonl";
  TBackupOutcomes outcomes(path);
  EXPECT_FALSE(outcomes.Follow());
  ASSERT_TRUE(AppendHistory(path, Backup("/db/a.fdb", At(4, 0), true)));
  ASSERT_TRUE(AppendHistory(path, Backup("/db/b.fdb", At(4, 1), false, "disk full")));
  EXPECT_TRUE(outcomes.Follow());
  EXPECT_FALSE(outcomes.Follow());  // nothing new
  EXPECT_TRUE(outcomes.Of("/db/a.fdb")->Newest.Succeeded());
  EXPECT_EQ(Failing(outcomes), (Strings{"/db/b.fdb 1"}));

  const std::string line = HistoryLine(Backup("/db/b.fdb", At(5, 0), false, "again"));
  AppendToFile(path, line.substr(0, 20));
  outcomes.Follow();
  EXPECT_EQ(Failing(outcomes), (Strings{"/db/b.fdb 1"}));
  AppendToFile(path, line.substr(20) + "\n");
  EXPECT_TRUE(outcomes.Follow());
  EXPECT_EQ(Failing(outcomes), (Strings{"/db/b.fdb 2"}));

  WriteFileBytes(path, HistoryLine(Backup("/db/c.fdb", At(6, 0), true)) + "\n");
  EXPECT_TRUE(outcomes.Follow());
  EXPECT_EQ(outcomes.Of("/db/a.fdb"), nullptr);
  EXPECT_TRUE(Failing(outcomes).empty());
  ASSERT_NE(outcomes.Of("/db/c.fdb"), nullptr);
  DeleteFile(path);
  EXPECT_TRUE(outcomes.Follow());
  EXPECT_EQ(outcomes.Of("/db/c.fdb"), nullptr);
}

// A failure stays until seen, whatever succeeds later (another database, or
// its own); seeing it up to a moment keeps those after it.
TEST(BackupOutcomes, AFailureStaysUntilSeen) {
  const std::vector<THistoryRecord> records = {
      Backup("/db/b.fdb", At(4, 20), false, "disk full"),
      Backup("/db/a.fdb", At(4, 20, 14), true),
      Backup("/db/b.fdb", At(4, 21), false, "disk full", HistoryKindVerify),  // not a backup of its own
      Backup("/db/b.fdb", At(5, 20), true),
      Backup("/db/c.fdb", At(5, 30), false, "no access", HistoryKindNBackup),
  };
  TBackupOutcomes outcomes("");
  for (const THistoryRecord& record : records) outcomes.Take(record);
  EXPECT_EQ(Failing(outcomes), (Strings{"/db/b.fdb 1", "/db/c.fdb 1"}));
  EXPECT_TRUE(outcomes.Of("/db/b.fdb")->Newest.Succeeded());
  EXPECT_EQ(outcomes.Of("/db/b.fdb")->Unseen.front().End, At(4, 20));
  EXPECT_TRUE(outcomes.MarkSeen(At(5, 20)));
  EXPECT_FALSE(outcomes.MarkSeen(At(5, 0)));
  EXPECT_EQ(Failing(outcomes), (Strings{"/db/c.fdb 1"}));

  // Many failures: the newest few kept, every one counted.
  TBackupOutcomes many("");
  for (int i = 0; i < 12; ++i) many.Take(Backup("/db/d.fdb", At(7, i), false, "full"));
  EXPECT_EQ(many.Of("/db/d.fdb")->Unseen.size(), TBackupOutcomes::MaxUnseenKept);
  EXPECT_EQ(Failing(many), (Strings{"/db/d.fdb 12"}));
  EXPECT_TRUE(many.MarkSeen(At(7, 4)));
  EXPECT_EQ(Failing(many), (Strings{"/db/d.fdb 7"}));
}

// The texts: the unseen failures by database with their reasons, first; the
// newest outcome of each database of the plan, whoever made it; a short form
// for a tool tip.
TEST_F(StatusTexts, TellTheHistory) {
  TQuorvin& q = Start();
  q.Settings().DataBase = "/db/a.fdb";
  q.Settings().PlanDataBase = "/db/a.fdb";
  q.Settings().MorePlanEntries.push_back(NewPlanEntry(q.Settings(), "/db/b.fdb"));
  TBackupOutcomes outcomes("");
  for (const THistoryRecord& record :
       {Backup("/db/b.fdb", At(4, 20), false, "disk\nfull"), Backup("/db/a.fdb", At(4, 20, 14), true),
        Backup("/db/x.fdb", At(4, 30), false, "by hand, quorvinctl"), Backup("/db/b.fdb", At(5, 20), true)})
    outcomes.Take(record);
  TStatusLines lines = StatusLinesOf(q, false, nullptr, &outcomes);
  EXPECT_EQ(lines.Failures,
            "Не созданы копии: /db/b.fdb — 07.12.2026 в 04:20: disk full; /db/x.fdb — 07.12.2026 в 04:30: by hand, "
            "quorvinctl");
  EXPECT_EQ(lines.LastPlanBackup,
            "Последние копии: /db/a.fdb — 07.12.2026 в 04:20 создана; /db/b.fdb — 07.12.2026 в 05:20 создана");
  const TStatusLines tip = StatusLinesOf(q, true, nullptr, &outcomes);
  EXPECT_EQ(tip.Failures,
            "НЕ создана: b.fdb 07.12 в 04:20 — disk full\nНЕ создана: x.fdb 07.12 в 04:30 — by hand, "
            "quorvinctl");
  EXPECT_EQ(JoinStatusLines(tip, "|"), tip.Failures +
                                           "|Последние: a.fdb — 07.12 в 04:20 создана; b.fdb — 07.12 в "
                                           "05:20 создана");
  EXPECT_TRUE(NeedsAttention(q, outcomes));
  outcomes.MarkSeen(At(5, 20));
  EXPECT_TRUE(StatusLinesOf(q, false, nullptr, &outcomes).Failures.empty());
  EXPECT_FALSE(NeedsAttention(q, outcomes));
  // A database whose newest backup failed and was seen: the reason stays
  // with its outcome.
  outcomes.Take(Backup("/db/a.fdb", At(6, 0), false, std::string(60, 'x').c_str()));
  outcomes.MarkSeen(At(6, 0));
  lines = StatusLinesOf(q, true, nullptr, &outcomes);
  EXPECT_EQ(lines.LastPlanBackup, "Последние: a.fdb — 07.12 в 06:00 НЕ создана: " + std::string(39, 'x') +
                                      "…; b.fdb — 07.12 в 05:20 создана");

  // A plan backup made with a warning: attention until the database's next
  // backup.
  TJobReport warned;
  warned.Succeeded = true;
  warned.Ended = EncodeDate(2026, 12, 7) + EncodeTime(7, 0, 1, 0);
  warned.Database = "/db/b.fdb";
  warned.Warnings = {"database left off line"};
  q.Plan().NoteReport(q.PlanEntries()[1].Id, warned);
  outcomes.Take(Backup("/db/b.fdb", At(7, 0), true));
  EXPECT_TRUE(NeedsAttention(q, outcomes));
  EXPECT_NE(StatusLinesOf(q, false, nullptr, &outcomes)
                .LastPlanBackup.find("/db/b.fdb — 07.12.2026 в 07:00 создана, внимание: database left off line"),
            std::string::npos);
  outcomes.Take(Backup("/db/b.fdb", At(8, 0), true));
  EXPECT_FALSE(NeedsAttention(q, outcomes));
}

}  // namespace
