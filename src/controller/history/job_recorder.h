#pragma once
// One job's entry in the history and what the controller learns while the
// job runs: its lines of output, the progress estimate, the first error it
// showed on its output. Created when the job starts (it reads the history
// then), finished with the outcome (it appends the record then).

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "controller/history/job_history.h"
#include "controller/history/job_progress.h"
#include "runner/job_output.h"
#include "runner/local_copy_info.h"

class TJobRunner;

// Size and SHA-256 of a file.
TFileFacts FileFactsOf(const std::string& path);

class TJobRecorder {
 public:
  // Reads the errors the job reports on `output`. `grownFile`: the file
  // whose size tells a backup's progress (empty: the lines of output do).
  // `copy`: the copy the job makes on this computer; such a job is measured
  // against one of the same shape (its server part by the file's size, the
  // copy by its time: see TPhasedProgress).
  TJobRecorder(std::string historyPath, TJobOutput& output, const char* kind, const char* by, std::string database,
               std::string file, std::string grownFile = {}, TCopyShape copy = TCopyShape::None);
  TJobRecorder(const TJobRecorder&) = delete;
  TJobRecorder& operator=(const TJobRecorder&) = delete;

  // Follows the job's output: counts its lines, keeps them in `keep` when
  // given, and calls `notify` after each one.
  void Watch(TJobRunner& job, std::function<void()> notify, std::vector<std::string>* keep = nullptr);
  std::optional<TJobProgress> Progress() const;
  // The share of this job done by its own measure; nullopt without one.
  std::optional<double> Fraction() const;
  // The earlier job this one is measured against, if any.
  const std::optional<THistoryRecord>& Baseline() const { return FBaseline; }
  // A backup's seconds spent on its copy here and on its verification.
  void SetPhaseSeconds(std::optional<std::int64_t> copy, std::optional<std::int64_t> verify);
  void SetFileFacts(const TFileFacts& facts);
  // The level, chain and base of a physical backup the job made or read.
  void SetLevel(int level, const std::string& chain, const std::string& base) {
    FRecord.Level = level;
    FRecord.Chain = chain;
    FRecord.Base = base;
  }
  // A temporary database the job could not remove.
  void SetLeftover(const std::string& database) { FRecord.Leftover = database; }
  // Names the copy made on this computer; with "copy only" (`isTheBackup`)
  // it is also the job's file.
  void SetCopy(const TLocalCopyInfo& copy, bool isTheBackup);
  // The history as it stood when the job started, oldest first.
  const std::vector<THistoryRecord>& History() const { return FHistory; }
  // The first notice or error line of the job since it started (the job's
  // reason), without its "ERROR: " lead.
  std::string ReportedError() const { return FOutput.ReasonSince(FMark); }
  // Appends the record; for a failure `reason` (the reported error when
  // empty). Only the first call counts. False when the record could not be
  // written.
  bool Finish(bool succeeded, const std::string& reason = {});

 private:
  std::string FHistoryPath;
  std::vector<THistoryRecord> FHistory;
  std::optional<THistoryRecord> FBaseline;
  THistoryRecord FRecord;
  TProgressEstimator FProgress;
  TJobOutput& FOutput;
  std::size_t FMark;
  bool FFinished = false;
  std::atomic<bool> FWatching{false};
};
