#include "controller/history/job_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/files.h"

namespace {

constexpr double MaxFraction = 0.99;
// Below this share the elapsed time says too little: the earlier job's
// duration estimates the rest instead.
constexpr double ExtrapolateFrom = 0.05;
constexpr double SecondsPerDay = 86400.0;

}  // namespace

double TProgressEstimator::ElapsedSeconds(TDateTime now) const {
  return std::max(0.0, (now - FStarted) * SecondsPerDay);
}

TProgressEstimator::TProgressEstimator(TDateTime started, std::optional<THistoryRecord> baseline, std::string grownFile,
                                       bool byTime)
    : FStarted(started), FBaseline(std::move(baseline)), FGrownFile(std::move(grownFile)), FByTime(byTime) {}

std::optional<double> TProgressEstimator::Fraction(TDateTime now) const {
  if (!FBaseline) return std::nullopt;
  if (FByTime) {
    const auto duration = FBaseline->DurationSeconds();
    if (!duration || *duration <= 0) return std::nullopt;
    return std::clamp(ElapsedSeconds(now) / static_cast<double>(*duration), 0.0, MaxFraction);
  }
  double fraction = -1;
  if (!FGrownFile.empty() && FBaseline->Size.value_or(0) > 0) {
    if (const auto size = FileSize(FGrownFile))
      fraction = static_cast<double>(*size) / static_cast<double>(*FBaseline->Size);
  }
  if (fraction < 0) {
    if (FBaseline->Lines == 0) return std::nullopt;
    fraction = static_cast<double>(FLines) / static_cast<double>(FBaseline->Lines);
  }
  return std::clamp(fraction, 0.0, MaxFraction);
}

std::optional<TJobProgress> TProgressEstimator::Estimate(TDateTime now) const {
  const auto fraction = Fraction(now);
  if (!fraction) return std::nullopt;
  const double elapsed = ElapsedSeconds(now);
  double left = 0;
  const auto duration = FBaseline->DurationSeconds();
  if (*fraction >= ExtrapolateFrom || !duration) {
    left = *fraction > 0 ? elapsed * (1 - *fraction) / *fraction : 0;
  } else {
    left = static_cast<double>(*duration) * (1 - *fraction);
  }
  TJobProgress progress;
  // A hair added: 0.29 × 100 is 28.999… in binary.
  progress.Percent = std::min(99, static_cast<int>(std::floor(*fraction * 100 + 1e-9)));
  progress.SecondsLeft = static_cast<std::int64_t>(std::llround(std::max(0.0, left)));
  return progress;
}

std::string ProgressText(const TJobProgress& progress) {
  const std::int64_t s = progress.SecondsLeft;
  char left[32];
  if (s >= 3600) {
    std::snprintf(left, sizeof left, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  } else {
    std::snprintf(left, sizeof left, "%lld:%02lld", static_cast<long long>(s / 60), static_cast<long long>(s % 60));
  }
  return std::to_string(progress.Percent) + " %, осталось " + left;
}
