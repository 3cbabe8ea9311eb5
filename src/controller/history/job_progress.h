#pragma once
// The estimate of a running job's progress, from the last successful record
// of the same kind of job on the same database: lines of output so far
// against that job's lines, or, for a backup whose file is visible here,
// bytes written against that backup's size. A backup that also streams a
// copy here is measured by its time against that job's: its copy prints no
// lines and grows no file the job can name. No earlier record, no estimate;
// never 100 % before the job has ended.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "controller/history/job_history.h"
#include "controller/messages/messages.h"
#include "platform/date_time.h"

// The parts of a job, in the order they run: a backup on the server, its
// copy on this computer, the verification by a test restore; or a restore.
enum class TJobPhase { Backup, Copy, Verify, Restore };

struct TJobProgress {
  int Percent = 0;               // 0 … 99
  std::int64_t SecondsLeft = 0;  // estimated time left, whole seconds
  // False: nothing to measure against yet (a first run): no figure at all.
  bool Estimated = true;
  TJobPhase Phase = TJobPhase::Backup;
  int PhaseNumber = 1;  // 1-based, of PhaseCount
  int PhaseCount = 1;
};

class TProgressEstimator {
 public:
  // A job started at `started`; `baseline` the record it is measured
  // against (none: no estimate); `grownFile` the file the job writes, when
  // its size tells the progress (empty: lines decide); `byTime`: the time
  // elapsed against the baseline's duration decides.
  TProgressEstimator(TDateTime started, std::optional<THistoryRecord> baseline, std::string grownFile = {},
                     bool byTime = false);

  // Counted on the job's thread, read on any.
  void AddLine() { ++FLines; }
  std::uint64_t Lines() const { return FLines.load(); }
  // The estimate at `now`; nullopt without a usable baseline.
  std::optional<TJobProgress> Estimate(TDateTime now) const;
  // The share of the job done at `now`, 0 … 0.99; nullopt without a usable
  // baseline.
  std::optional<double> Fraction(TDateTime now) const;

 private:
  double ElapsedSeconds(TDateTime now) const;

  TDateTime FStarted;
  std::optional<THistoryRecord> FBaseline;
  std::string FGrownFile;
  bool FByTime;
  std::atomic<std::uint64_t> FLines{0};
};

// One progress over a job's phases: each phase weighs what it took in the
// earlier job measured against, so the whole job's share done only grows
// (never falls when the next phase starts) and one figure serves the bar and
// the text.
class TPhasedProgress {
 public:
  // `phases` in the order they run, `weights` their expected seconds (the
  // same length; all 0: no earlier job, no estimate).
  TPhasedProgress(TDateTime started, std::vector<TJobPhase> phases, std::vector<double> weights);

  // The job moves on to `phase` (one of its phases) at `now`.
  void Enter(TJobPhase phase, TDateTime now);
  TJobPhase Current() const {
    std::lock_guard<std::mutex> guard(FMutex);
    return FPhases.at(FCurrent);
  }
  // Whole seconds spent in `phase`, up to `now` for the current one; nullopt
  // for a phase not entered.
  std::optional<std::int64_t> SecondsIn(TJobPhase phase, TDateTime now) const;
  // `phaseFraction`: the current phase's own measure of its share done
  // (file size or lines); nullopt: its time against its weight.
  TJobProgress Estimate(TDateTime now, std::optional<double> phaseFraction) const;

 private:
  std::vector<TJobPhase> FPhases;
  std::vector<double> FWeights;
  std::vector<std::optional<TDateTime>> FEntered;
  std::vector<std::optional<TDateTime>> FLeft;
  TDateTime FStarted;
  std::size_t FCurrent = 0;
  // The highest share shown so far: a slower phase holds the figure still
  // instead of taking it back.
  mutable double FShown = 0;
  // The job's thread moves on while another thread reads the estimate.
  mutable std::mutex FMutex;
};

// The phases' expected seconds for a job of `phases` on the database of
// `baseline` (the last successful backup of the same copy shape; nullopt:
// none), from its phase times or, in records without them, from the
// verification records in `history`.
std::vector<double> PhaseWeights(const std::vector<TJobPhase>& phases, const std::optional<THistoryRecord>& baseline,
                                 const std::vector<THistoryRecord>& history);

// "45 %, осталось 1:20" ("45 %, 1:20 left"; hours shown when there are any).
std::string ProgressText(const TJobProgress& progress, TLanguage language);
// The progress with its phase for the status line: "45 %, осталось 1:20",
// "этап 3 из 3, проверка восстановлением: 45 %, осталось 1:20", or without
// an estimate "оценки пока нет"; in `language`.
std::string PhaseProgressText(const TJobProgress& progress, TLanguage language);
