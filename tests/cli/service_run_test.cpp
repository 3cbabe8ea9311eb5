// What a stop of `quorvinctl run` does to the running job: only a backup
// whose estimate exists and says it is nearly done may finish.

#include "cli/service_run.h"

#include <gtest/gtest.h>

#include "jobs/job_runner.h"

namespace {

TEST(ServiceRun, OnlyABackupWhoseEstimateSaysItIsNearlyDoneMayFinishAfterAStop) {
  const auto estimate = [](bool estimated, std::int64_t left) {
    TJobProgress progress;
    progress.Estimated = estimated;
    progress.SecondsLeft = left;
    return std::optional<TJobProgress>(progress);
  };
  struct Row {
    TJobKind kind;
    std::optional<TJobProgress> progress;
    bool mayFinish;
  } const rows[] = {
      {TJobKind::Backup, estimate(true, NearlyDoneSeconds), true},
      {TJobKind::Backup, estimate(true, NearlyDoneSeconds + 1), false},
      // A database's first backup: nothing to estimate from, 0 s left means nothing.
      {TJobKind::Backup, estimate(false, 0), false},
      {TJobKind::Backup, std::nullopt, false},
      {TJobKind::Restore, estimate(true, 0), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(row.kind) << ", estimated "
                                    << (row.progress ? row.progress->Estimated : false) << ", left "
                                    << (row.progress ? row.progress->SecondsLeft : -1));
    EXPECT_EQ(MayFinishAfterStop(row.kind, row.progress), row.mayFinish);
  }
}

}  // namespace
