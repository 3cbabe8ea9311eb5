#include "controller/history/job_progress.h"

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
  // {lines, seconds, percent, seconds left}: below 5 % the earlier job's
  // duration tells the rest, then the pace so far; never above 99 %.
  const int rows[][4] = {{0, 0, 0, 100}, {4, 3, 2, 98}, {50, 20, 25, 60}, {200, 90, 99, 1}, {900, 200, 99, 2}};
  for (const auto& row : rows) {
    while (progress.Lines() < static_cast<std::uint64_t>(row[0])) progress.AddLine();
    const auto estimate = progress.Estimate(Start + row[1] * Second);
    ASSERT_TRUE(estimate.has_value());
    EXPECT_EQ(estimate->Percent, row[2]) << row[0];
    EXPECT_EQ(estimate->SecondsLeft, row[3]) << row[0];
  }
  EXPECT_EQ(ProgressText({45, 80}), "45 %, осталось 1:20");
  EXPECT_EQ(ProgressText({3, 3725}), "3 %, осталось 1:02:05");
}

TEST(JobProgress, BytesOfAVisibleFileOrTimeTakePrecedenceAndAFirstRunHasNoEstimate) {
  TTempFolder dir;
  TProgressEstimator progress(Start, Baseline(200, 1000), dir / "new.gbk");
  for (int i = 0; i < 20; ++i) progress.AddLine();
  EXPECT_EQ(progress.Estimate(Start + 10 * Second)->Percent, 10);  // no file yet: lines
  WriteFileBytes(dir / "new.gbk", std::string(750, 'x'));
  EXPECT_EQ(progress.Estimate(Start + 10 * Second)->Percent, 75);
  WriteFileBytes(dir / "new.gbk", std::string(1500, 'x'));
  EXPECT_EQ(progress.Estimate(Start + 10 * Second)->Percent, 99);
  // A job that also streams a copy: its time against the earlier one's 100 s,
  // whatever its file and lines say.
  TProgressEstimator withCopy(Start, Baseline(200, 1000), dir / "new.gbk", true);
  EXPECT_EQ(withCopy.Estimate(Start + 30 * Second)->Percent, 30);
  EXPECT_EQ(withCopy.Estimate(Start + 30 * Second)->SecondsLeft, 70);
  EXPECT_EQ(withCopy.Estimate(Start + 250 * Second)->Percent, 99);
  EXPECT_FALSE(TProgressEstimator(Start, std::nullopt).Estimate(Start).has_value());
  EXPECT_FALSE(TProgressEstimator(Start, Baseline(0, std::nullopt), "/no/file").Estimate(Start).has_value());
}

}  // namespace
