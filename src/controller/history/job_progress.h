#pragma once
// The estimate of a running job's progress, from the last successful record
// of the same kind of job on the same database: lines of output so far
// against that job's lines, or, for a backup whose file is visible here,
// bytes written against that backup's size. A backup that also streams a
// copy here is measured by its time against that job's: its copy prints no
// lines and grows no file the job can name. No earlier record, no estimate;
// never 100 % before the job has ended.

#include <cstdint>
#include <optional>
#include <string>

#include "controller/history/job_history.h"
#include "platform/date_time.h"

struct TJobProgress {
  int Percent = 0;               // 0 … 99
  std::int64_t SecondsLeft = 0;  // estimated time left, whole seconds
};

class TProgressEstimator {
 public:
  // A job started at `started`; `baseline` the record it is measured
  // against (none: no estimate); `grownFile` the file the job writes, when
  // its size tells the progress (empty: lines decide); `byTime`: the time
  // elapsed against the baseline's duration decides.
  TProgressEstimator(TDateTime started, std::optional<THistoryRecord> baseline, std::string grownFile = {},
                     bool byTime = false);

  void AddLine() { ++FLines; }
  std::uint64_t Lines() const { return FLines; }
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
  std::uint64_t FLines = 0;
};

// "45 %, осталось 1:20" (hours shown when there are any).
std::string ProgressText(const TJobProgress& progress);
