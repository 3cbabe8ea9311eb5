#pragma once
// `quorvinctl run`: the plan of the settings file in the foreground, as the
// window runs it, until SIGTERM, SIGINT or SIGHUP. The plan timer's tick
// comes every 5 seconds, also while a job runs (on the core's own thread),
// so backups falling due meanwhile are queued. A stop lets no new job start;
// the running job
// ends as a failed one (TJobStop), unless it is a backup that its estimate
// says is nearly done: that one may finish for up to NearlyDoneGrace more.
// Further signals stop it at once; none skips the clean-up.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "cli/cli_core.h"
#include "cli/signal_pump.h"
#include "controller/history/job_progress.h"
#include "controller/monitoring/metrics_file.h"
#include "controller/plan_status/plan_status.h"
#include "jobs/job_kind.h"

// A backup whose estimate has at most this much left may finish...
inline constexpr std::int64_t NearlyDoneSeconds = 15;
// ...but is stopped after this at the latest.
inline constexpr auto NearlyDoneGrace = std::chrono::seconds(30);

// Whether a running job of `kind` at `progress` may finish after
// a stop: only a backup whose estimate exists and has at most
// NearlyDoneSeconds left. Without an estimate (a database's first backup) the
// time left is unknown, never "nearly done".
bool MayFinishAfterStop(std::optional<TJobKind> kind, const std::optional<TJobProgress>& progress);

class TServiceRun {
 public:
  TServiceRun(const TCliOptions& options, const TConsole& console);
  int Run();
  // A signal stopped a running job.
  bool JobStopped() { return FCli.Stop().Requested(); }

 private:
  void OnSignals();
  void OnTurn();
  // The plan's tick and the status file when the tick is due.
  void TickWhenDue();
  void StopTheJob();
  // The plan's start, with a warning when it makes no backups.
  void SayStarted();
  // The metrics file (--metrics-dir), at the start, after each job and at
  // the stop; a failure to write it is said once.
  void UpdateMetrics();

  TCliCore FCli;
  TQuorvin& FQ;
  TSignalPump FPump;
  TPlanStatusWriter FStatus;
  bool FStopping = false;
  std::optional<std::chrono::steady_clock::time_point> FGraceEnds;
  std::chrono::steady_clock::time_point FNextTick;
  std::optional<TMetricsFile> FMetrics;
  std::atomic<bool> FMetricsDue{true};
  std::string FMetricsFault;
};
