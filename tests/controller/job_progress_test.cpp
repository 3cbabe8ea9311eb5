#include "controller/job_progress.h"

#include <gtest/gtest.h>

#include "platform/temp_folder.h"

namespace {

constexpr TDateTime Second = 1.0 / 86400.0;
const TDateTime Start = EncodeDate(2026, 12, 7) + EncodeTime(10, 0, 0, 0);

THistoryRecord Baseline(std::uint64_t lines, std::optional<std::uint64_t> size) {
  THistoryRecord r;
  r.Start = "2026-12-06T10:00:00+01:00";
  r.End = "2026-12-06T10:01:40+01:00";  // 100 s
  r.Kind = HistoryKindBackup;
  r.Outcome = HistorySuccess;
  r.Lines = lines;
  r.Size = size;
  return r;
}

TEST(JobProgress, LinesAgainstTheLastSuccessfulJob) {
  TProgressEstimator progress(Start, Baseline(200, std::nullopt));
  struct Row {
    int lines;
    double seconds;
    int percent;
    std::int64_t left;
  };
  // Below 5 % the earlier job's duration tells the rest; later the pace so
  // far; past the earlier job's lines it stays at 99 %.
  const Row rows[] = {{0, 0, 0, 100},    {4, 3, 2, 98},    {50, 20, 25, 60},
                      {100, 80, 50, 80}, {200, 90, 99, 1}, {900, 200, 99, 2}};
  int added = 0;
  for (const Row& row : rows) {
    while (added < row.lines) {
      progress.AddLine();
      ++added;
    }
    const auto estimate = progress.Estimate(Start + row.seconds * Second);
    ASSERT_TRUE(estimate.has_value());
    EXPECT_EQ(estimate->Percent, row.percent) << row.lines;
    EXPECT_EQ(estimate->SecondsLeft, row.left) << row.lines;
  }
  EXPECT_EQ(progress.Lines(), 900u);
}

TEST(JobProgress, BytesOfAVisibleFileTakePrecedenceOverLines) {
  TTempFolder dir;
  TProgressEstimator progress(Start, Baseline(200, 1000), dir / "new.gbk");
  // Before the server has created the file, lines decide.
  for (int i = 0; i < 20; ++i) progress.AddLine();
  EXPECT_EQ(progress.Estimate(Start + 10 * Second)->Percent, 10);
  WriteFileBytes(dir / "new.gbk", std::string(750, 'x'));
  EXPECT_EQ(progress.Estimate(Start + 10 * Second)->Percent, 75);
  WriteFileBytes(dir / "new.gbk", std::string(1500, 'x'));
  EXPECT_EQ(progress.Estimate(Start + 10 * Second)->Percent, 99);
}

TEST(JobProgress, NoEstimateWithoutAnEarlierRecordOrAMeasure) {
  TProgressEstimator first(Start, std::nullopt);
  first.AddLine();
  EXPECT_FALSE(first.Estimate(Start + Second).has_value());
  TProgressEstimator nothing(Start, Baseline(0, std::nullopt), "/no/such/file");
  EXPECT_FALSE(nothing.Estimate(Start + Second).has_value());
}

TEST(JobProgress, Text) {
  EXPECT_EQ(ProgressText({45, 80}), "45 %, осталось 1:20");
  EXPECT_EQ(ProgressText({3, 3725}), "3 %, осталось 1:02:05");
  EXPECT_EQ(ProgressText({99, 0}), "99 %, осталось 0:00");
}

}  // namespace
