#pragma once
// TJobRunner: runs one job (jobs/job.h) against the database server's
// service manager. The caller describes the job, sets the hooks it wants,
// calls Run once, reads the result and frees the object.

#include <functional>
#include <string>

#include "jobs/job.h"
#include "runner/local_copy_info.h"

class TJobOutput;

class TJobRunner {
 public:
  explicit TJobRunner(TJob job);
  ~TJobRunner();
  TJobRunner(const TJobRunner&) = delete;
  TJobRunner& operator=(const TJobRunner&) = delete;

  const TJob& Job() const { return FJob; }

  // Called once the database is shut down (or the shutdown was not asked
  // for or skipped), right before the request: the caller moves the file the
  // job recreates out of the way here, when no user can hold it open any
  // more. An error raised here ends the job as a failed request (the restart
  // still runs).
  std::function<void()> BeforeRequest;
  // Called after the request, with its outcome, before the database is
  // brought back on line, so a file the caller puts back in place is the one
  // brought on line. Runs whenever BeforeRequest was called.
  std::function<void(bool requestCompleted)> AfterRequest;

  // Where the job's account and notices go (not owned); none: nowhere.
  TJobOutput* Output = nullptr;

  // Every line of the server's output, as it arrives (before it reaches the
  // pane): what a caller counts or reads from the output.
  std::function<void(const std::string& line)> OnOutputLine;

  // Called once a backup's copy on this computer stands complete under its
  // final names.
  std::function<void(const TLocalCopyInfo& copy)> OnLocalCopyMade;
  // Called when the copy starts (the job's progress moves on to it).
  std::function<void()> OnLocalCopyStarting;

  // Runs the job; true when its request ran to its end without an error and
  // the server's output does not say otherwise. With "copy only", when the
  // copy was made. A restore whose backup file is on this computer (a
  // compressed copy, or a file the database's server cannot open) sends it
  // through the request's standard input, after checking its checksum file
  // before anything else. A file name that did not fit its field refuses
  // the job before anything happens.
  bool Run();

 private:
  // One run, step by step (job_runner.cpp).
  class TRun;

  const TJob FJob;
};
