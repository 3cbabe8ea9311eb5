#pragma once
// How far the running job is, on a terminal: "backup: 45 %, 1:20 left"
// (from the history's estimate), or the time it runs while there is none,
// rewritten at most once a second.

#include <chrono>
#include <optional>
#include <string>

#include "cli/console.h"
#include "controller/history/job_progress.h"

class TProgressLine {
 public:
  // `enabled`: the user wants it; it shows only on a terminal.
  TProgressLine(const TConsole& console, bool enabled);
  ~TProgressLine() { Clear(); }
  TProgressLine(const TProgressLine&) = delete;
  TProgressLine& operator=(const TProgressLine&) = delete;

  // The job `what` ("backup") at `progress` (nullopt: it has not started).
  void Show(const std::string& what, const std::optional<TJobProgress>& progress);
  void Clear();

 private:
  const TConsole& FConsole;
  bool FEnabled;
  bool FShown = false;
  std::chrono::steady_clock::time_point FStarted;
  std::chrono::steady_clock::time_point FLast;
};

// "45 %, 1:20 left", with "step 2 of 3, copy: " before it for a job of
// several steps; "no estimate yet, running 0:35" without an estimate.
std::string ProgressWords(const TJobProgress& progress, std::int64_t runningSeconds);
