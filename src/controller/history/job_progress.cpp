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

TPhasedProgress::TPhasedProgress(TDateTime started, std::vector<TJobPhase> phases, std::vector<double> weights)
    : FPhases(std::move(phases)),
      FWeights(std::move(weights)),
      FEntered(FPhases.size()),
      FLeft(FPhases.size()),
      FStarted(started) {
  FWeights.resize(FPhases.size(), 0.0);
  if (!FEntered.empty()) FEntered[0] = started;
}

void TPhasedProgress::Enter(TJobPhase phase, TDateTime now) {
  std::lock_guard<std::mutex> guard(FMutex);
  const auto at = std::find(FPhases.begin() + static_cast<std::ptrdiff_t>(FCurrent), FPhases.end(), phase);
  if (at == FPhases.end()) return;
  const auto next = static_cast<std::size_t>(at - FPhases.begin());
  if (next == FCurrent) return;
  FLeft[FCurrent] = now;
  FCurrent = next;
  FEntered[FCurrent] = now;
}

std::optional<std::int64_t> TPhasedProgress::SecondsIn(TJobPhase phase, TDateTime now) const {
  std::lock_guard<std::mutex> guard(FMutex);
  const auto at = std::find(FPhases.begin(), FPhases.end(), phase);
  if (at == FPhases.end()) return std::nullopt;
  const auto i = static_cast<std::size_t>(at - FPhases.begin());
  if (!FEntered[i]) return std::nullopt;
  const TDateTime end = FLeft[i].value_or(now);
  return std::llround(std::max(0.0, (end - *FEntered[i]) * SecondsPerDay));
}

TJobProgress TPhasedProgress::Estimate(TDateTime now, std::optional<double> phaseFraction) const {
  std::lock_guard<std::mutex> guard(FMutex);
  TJobProgress progress;
  progress.Phase = FPhases.at(FCurrent);
  progress.PhaseNumber = static_cast<int>(FCurrent) + 1;
  progress.PhaseCount = static_cast<int>(FPhases.size());
  double total = 0;
  double done = 0;
  for (std::size_t i = 0; i < FWeights.size(); ++i) {
    total += FWeights[i];
    if (i < FCurrent) done += FWeights[i];
  }
  const double weight = FWeights[FCurrent];
  if (total <= 0) {
    progress.Estimated = false;
    return progress;
  }
  const double inPhase = std::max(0.0, (now - FEntered[FCurrent].value_or(now)) * SecondsPerDay);
  const double fraction = std::clamp(phaseFraction.value_or(weight > 0 ? inPhase / weight : 0.0), 0.0, MaxFraction);
  FShown = std::clamp(std::max(FShown, (done + weight * fraction) / total), 0.0, MaxFraction);
  const double elapsed = std::max(0.0, (now - FStarted) * SecondsPerDay);
  const double left = FShown >= ExtrapolateFrom ? elapsed * (1 - FShown) / FShown : total * (1 - FShown);
  progress.Percent = std::min(99, static_cast<int>(std::floor(FShown * 100 + 1e-9)));
  progress.SecondsLeft = static_cast<std::int64_t>(std::llround(std::max(0.0, left)));
  return progress;
}

namespace {

// The seconds of the verification that ran inside `backup`: its own record
// in records that lack the phase times.
std::optional<double> VerifySecondsOf(const THistoryRecord& backup, const std::vector<THistoryRecord>& history) {
  if (backup.VerifySeconds) return static_cast<double>(*backup.VerifySeconds);
  const auto start = backup.StartSeconds();
  const auto end = backup.EndSeconds();
  if (!start || !end) return std::nullopt;
  for (const THistoryRecord& record : history) {
    if (record.Kind != HistoryKindVerify || record.Database != backup.Database) continue;
    const auto from = record.StartSeconds();
    const auto to = record.EndSeconds();
    if (from && to && *from >= *start && *to <= *end) return static_cast<double>(*to - *from);
  }
  return std::nullopt;
}

}  // namespace

std::vector<double> PhaseWeights(const std::vector<TJobPhase>& phases, const std::optional<THistoryRecord>& baseline,
                                 const std::vector<THistoryRecord>& history) {
  std::vector<double> weights(phases.size(), 0.0);
  if (!baseline) return weights;
  const auto has = [&](TJobPhase phase) { return std::find(phases.begin(), phases.end(), phase) != phases.end(); };
  // A job that took no time at all still weighs something.
  const double whole = std::max<double>(1, static_cast<double>(baseline->DurationSeconds().value_or(1)));
  const double verify = std::min(whole, VerifySecondsOf(*baseline, history).value_or(0));
  const double rest = whole - verify;
  // An older record does not say how its copy and its backup shared the
  // time: half each.
  double copy = 0;
  if (has(TJobPhase::Copy))
    copy = baseline->CopySeconds ? std::min(rest, static_cast<double>(*baseline->CopySeconds))
                                 : (has(TJobPhase::Backup) ? rest / 2 : rest);
  const double server = std::max(1.0, rest - copy);
  for (std::size_t i = 0; i < phases.size(); ++i) {
    switch (phases[i]) {
      case TJobPhase::Backup: weights[i] = server; break;
      case TJobPhase::Copy: weights[i] = std::max(1.0, copy); break;
      // A test restore never measured: about as long as the backup itself.
      case TJobPhase::Verify: weights[i] = verify > 0 ? verify : server; break;
      case TJobPhase::Restore: weights[i] = whole; break;
    }
  }
  return weights;
}

std::string PhaseProgressText(const TJobProgress& progress, TLanguage language) {
  static constexpr TMessage Names[] = {TMessage::PhaseBackup, TMessage::PhaseCopy, TMessage::PhaseVerify,
                                       TMessage::PhaseRestore};
  const std::string figure =
      progress.Estimated ? ProgressText(progress, language) : Message(TMessage::NoEstimateYet, language);
  if (progress.PhaseCount <= 1) return figure;
  return Message(TMessage::PhaseStep, language,
                 {std::to_string(progress.PhaseNumber), std::to_string(progress.PhaseCount),
                  Message(Names[static_cast<int>(progress.Phase)], language), figure});
}

std::string ProgressText(const TJobProgress& progress, TLanguage language) {
  const std::int64_t s = progress.SecondsLeft;
  char left[32];
  if (s >= 3600) {
    std::snprintf(left, sizeof left, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  } else {
    std::snprintf(left, sizeof left, "%lld:%02lld", static_cast<long long>(s / 60), static_cast<long long>(s % 60));
  }
  return Message(TMessage::ProgressLeft, language, {std::to_string(progress.Percent), left});
}
