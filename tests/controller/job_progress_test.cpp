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
  EXPECT_EQ(ProgressText({45, 80}, TLanguage::Russian), "45 %, осталось 1:20");
  EXPECT_EQ(ProgressText({3, 3725}, TLanguage::Russian), "3 %, осталось 1:02:05");
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

// A backup with a copy here and a verification, measured against one whose
// record kept its phase times (100 s: 50 backup, 20 copy, 30 verification):
// one figure that only grows across the phases, each named; without an
// earlier job no figure at all.
TEST(JobProgress, OneFigureOverTheJobsPhases) {
  THistoryRecord baseline = Baseline(200, 1000);
  baseline.CopySeconds = 20;
  baseline.VerifySeconds = 30;
  const std::vector<TJobPhase> phases{TJobPhase::Backup, TJobPhase::Copy, TJobPhase::Verify};
  const std::vector<double> weights = PhaseWeights(phases, baseline, {});
  EXPECT_EQ(weights, (std::vector<double>{50, 20, 30}));
  TPhasedProgress progress(Start, phases, weights);
  // {phase entered at second, second, the phase's own share (-1: none),
  // percent, phase number}
  const double rows[][5] = {{0, 10, 0.5, 25, 1},  {0, 40, 0.9, 45, 1},  {45, 45, -1, 50, 2},  {45, 55.5, -1, 60, 2},
                            {70, 70, 0.0, 70, 3}, {70, 80, 0.1, 73, 3}, {70, 99, 0.99, 99, 3}};
  const TJobPhase entered[] = {TJobPhase::Backup, TJobPhase::Copy, TJobPhase::Verify};
  for (const auto& row : rows) {
    progress.Enter(entered[static_cast<int>(row[4]) - 1], Start + row[0] * Second);
    const std::optional<double> own = row[2] < 0 ? std::nullopt : std::optional<double>(row[2]);
    const TJobProgress estimate = progress.Estimate(Start + row[1] * Second, own);
    EXPECT_TRUE(estimate.Estimated);
    EXPECT_EQ(estimate.Percent, static_cast<int>(row[3])) << row[1];
    EXPECT_EQ(estimate.PhaseNumber, static_cast<int>(row[4]));
    EXPECT_EQ(estimate.PhaseCount, 3);
  }
  EXPECT_EQ(progress.SecondsIn(TJobPhase::Copy, Start + 99 * Second), 25);
  EXPECT_EQ(PhaseProgressText({45, 80, true, TJobPhase::Verify, 3, 3}, TLanguage::Russian),
            "этап 3 из 3, проверка восстановлением: 45 %, осталось 1:20");
  EXPECT_EQ(PhaseProgressText({45, 80}, TLanguage::Russian), "45 %, осталось 1:20");
  EXPECT_EQ(PhaseProgressText({45, 80, true, TJobPhase::Verify, 3, 3}, TLanguage::English),
            "step 3 of 3, verification by test restore: 45 %, 1:20 left");

  // An older record: the copy takes half of what the verification left.
  THistoryRecord older = Baseline(200, 1000);
  EXPECT_EQ(PhaseWeights(phases, older, {}), (std::vector<double>{50, 50, 50}));
  TPhasedProgress first(Start, phases, PhaseWeights(phases, std::nullopt, {}));
  const TJobProgress none = first.Estimate(Start + 5 * Second, 0.5);
  EXPECT_FALSE(none.Estimated);
  EXPECT_EQ(PhaseProgressText(none, TLanguage::Russian), "этап 1 из 3, копирование на сервере: оценки пока нет");
}

}  // namespace
