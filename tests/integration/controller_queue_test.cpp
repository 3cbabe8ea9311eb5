// The plan's queue against the real embedded engine: two databases due in
// the same minute and a backup asked for by hand meanwhile run one after the
// other, each a good backup of its own database.

#include <gtest/gtest.h>

#include "controller/history/job_history.h"
#include "integration/controller_fixture_fb.h"
#include "jobs/job_runner.h"
#include "platform/fake_clock.h"

namespace ctltest {
namespace {

using Queue = ControllerFirebird;

TEST_F(Queue, TwoDatabasesDueTogetherAndOneByHandRunOneAfterTheOther) {
  const TFakeClock clock(EncodeDate(2026, 12, 7) + EncodeTime(10, 0, 2, 0));  // a Monday
  const std::string second = dir.File("second.fdb");
  fbtest::CreateDatabase(second);
  TSettings& settings = q->Settings();
  settings.Protocol = kLocal;
  std::vector<TPlanEntry> entries = q->PlanEntries();
  entries.push_back(NewPlanEntry(settings, second));
  for (TPlanEntry& entry : entries) {
    entry.PlanRecord.Day1Back = true;
    entry.PlanRecord.NightPeriodBack = 3;  // hourly, all day
  }
  SetPlanEntries(settings, entries);

  // The jobs as they start, on the jobs' thread; at the first one's start a
  // backup is asked for by hand, on the front end's thread.
  std::vector<std::pair<std::string, TJobBy>> seen;
  std::optional<std::optional<TBackupOutcome>> askedByHand;
  std::optional<TBackupOutcome> heardByHand;
  q->Jobs().JobRunner = [&](TJobRunner& job) {
    const std::optional<TQueuedJob> running = q->Queue().Running();
    if (running && (seen.empty() || seen.back() != std::make_pair(running->Database, running->By)))
      seen.emplace_back(running->Database, running->By);
    if (!askedByHand)
      q->RunOnFrontEnd(
          [&] { askedByHand = q->Backup(db, [&](const TBackupOutcome& outcome) { heardByHand = outcome; }); });
    return job.Run();
  };
  q->Execute();
  q->OnPlanTimer();
  q->WaitIdle();
  q->Jobs().JobRunner = nullptr;

  ASSERT_TRUE(askedByHand.has_value());
  EXPECT_FALSE(askedByHand->has_value()) << "the backup by hand waited";
  ASSERT_TRUE(heardByHand.has_value());
  EXPECT_TRUE(heardByHand->Succeeded) << seams.Dump();
  const std::vector<std::pair<std::string, TJobBy>> inTurn = {
      {db, TJobBy::Plan}, {second, TJobBy::Plan}, {db, TJobBy::User}};
  EXPECT_EQ(seen, inTurn);
  EXPECT_FALSE(q->JobRunning());
  const std::vector<THistoryRecord> history = ReadHistory(q->HistoryPath());
  ASSERT_EQ(history.size(), 3u) << seams.Dump();
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(history[i].Database, inTurn[i].first);
    EXPECT_EQ(history[i].By, inTurn[i].second == TJobBy::Plan ? HistoryByPlan : HistoryByUser);
    EXPECT_TRUE(history[i].Succeeded());
  }
  // Each backup is of its own database: the second one restores to its rows.
  const std::string restored = dir.File("restored.fdb");
  ASSERT_TRUE(Restore(history[1].File, restored)) << seams.Dump();
  ExpectSameRows(second, restored);
}

}  // namespace
}  // namespace ctltest
