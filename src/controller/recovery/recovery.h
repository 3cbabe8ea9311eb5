#pragma once
// Finishing a job that a crash or a kill cut short, from its record
// (jobs/job_record.h): what the job would have done at its end, done at the
// next start.

#include <string>

class TJobOutput;
class TOperationLog;

class TRecovery {
 public:
  TRecovery(std::string jobRecordPath, TOperationLog& log) : FPath(std::move(jobRecordPath)), FLog(log) {}

  // When the record is there: files moved aside go back under their names,
  // a partial file is renamed ".failed", the database is brought back on
  // line; the operation log says what was done, the pane shows the steps on
  // `output`, and the user is told once (a notice of `output`'s prompts).
  // False when there was nothing to finish.
  bool FinishInterruptedJob(TJobOutput& output);

 private:
  std::string FPath;
  TOperationLog& FLog;
};
