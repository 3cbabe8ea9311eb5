#pragma once
// TJobFrame: what every backup and restore job sets up around its own steps
// and takes down after them. It marks the jobs as running one (the status
// line names it once it has passed its checks), keeps the job's history
// record, its progress over its phases (the job under way while it lasts),
// the record of the job in progress for crash recovery and the files the
// job recreates, lends them to the kind's steps, and ends the job in one
// place: the operation log's outcome line and reason, and the history.
//
// A kind makes its parts in the order it needs them: a restore begins its
// history record before it checks its source and keeps its record file only
// when it is sure to start; a backup keeps its record file first.

#include <functional>
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "controller/history/job_progress.h"
#include "controller/history/job_recorder.h"
#include "controller/jobs/database_jobs.h"
#include "controller/jobs/job_fill.h"
#include "controller/jobs/job_record.h"
#include "controller/jobs/job_scope.h"
#include "controller/jobs/replaced_file.h"

class TJobOutput;
class TJobRunner;

// What the history says of a job: its kind (HistoryKind…), who started it,
// its database and file, the file whose growth tells its progress and the
// shape of its copy on this computer.
struct TJobFacts {
  const char* Kind;
  TJobBy By;
  std::string Database;
  std::string File;
  std::string GrownFile = {};
  TCopyShape Copy = TCopyShape::None;
};

class TJobFrame {
 public:
  // The jobs run a job from now until the frame goes.
  TJobFrame(TDatabaseJobs& jobs, TJobOutput& output) : FJobs(jobs), FOutput(output), FScope(jobs) {}
  ~TJobFrame();
  TJobFrame(const TJobFrame&) = delete;
  TJobFrame& operator=(const TJobFrame&) = delete;

  // The job has passed its checks: the status line names it.
  void Name(TRunningJob job) { FScope.Name(std::move(job)); }
  // Begins the job's history record (reading the history as it stands).
  TJobRecorder& Begin(const TJobFacts& facts);
  TJobRecorder& Recorder() { return *FRecorder; }
  // The record of the job in progress; its file is written from its first
  // Save and removed when the frame goes.
  TJobRecordFile& Keep(TJobRecord record);
  TJobRecordFile& RecordFile() { return *FRecordFile; }
  // A file the job recreates, noted in the record file (none for an empty
  // path); put back when the frame goes without its Finish.
  TReplacedFile& Replace(std::string path);
  // The job's progress over `phases`, measured against the history; the job
  // is the one under way from now.
  TPhasedProgress& Follow(const std::vector<TJobPhase>& phases);
  // Follows the runner's output for the history and the progress; keeps its
  // lines in `keep` when given.
  void Watch(TJobRunner& job, std::vector<std::string>* keep = nullptr);
  // Runs the kind's request steps (RunReported); true when they succeeded.
  bool Run(const std::function<bool()>& steps, const char* failureText, TErrorOrder order);

  // The operation log's outcome line: `done` or `notDone`, then `file`.
  void LogOutcome(bool succeeded, const std::string& done, const std::string& notDone, const std::string& file);
  // The end of the job: the seconds of its copy and verification, the
  // operation log's reason when there is one, and the history record
  // (`reason` for a failure).
  void Finish(bool succeeded, const std::string& reason);

 private:
  TDatabaseJobs& FJobs;
  TJobOutput& FOutput;
  TJobScope FScope;
  std::optional<TJobRecorder> FRecorder;
  std::optional<TJobRecordFile> FRecordFile;
  std::list<TReplacedFile> FReplaced;
  std::optional<TPhasedProgress> FProgress;
  std::optional<TPhasesScope> FPhasesScope;
  std::optional<TCurrentJob> FCurrent;
};
