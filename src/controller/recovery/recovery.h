#pragma once
// Finishing a job that a crash or a kill cut short, from its record
// (jobs/job_record.h): what the job would have done at its end, done at the
// next start, on what can be proved to be the job's own unfinished state and
// nothing else.
//
// A file counts as the job's own when it is the file the record names (the
// earlier file aside: the same file, unchanged since the move; the file the
// job wrote: the one its last sign of life saw, or before that one created
// while its request ran, and not changed after the job's last sign of
// life). A physical backup's file that its server finished (its database's
// own history lists it) keeps its name: the next level builds on it. A
// database is
// brought back on line only when the job shut it down and nothing has
// changed it since (so a database an administrator shut down later stays as
// it is), and a restored database is never set aside once it is on line (the
// server finished the restore after the program died, and users may be
// working in it). Anything else is left as it is: the operation log keeps
// what the record said, and the user is told.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "controller/jobs/job_record.h"
#include "controller/messages/messages.h"

class TJobOutput;
class TOperationLog;

// The password of the record's user for the steps that need the server: the
// remembered login, or the user asked; nullopt when there is none.
using TRecoveryPassword = std::function<std::optional<std::string>(const TJobRecord& record)>;

// Why a record must not be trusted (empty when it may be): it belongs to
// another settings file, or a name in it is not one the job itself would
// have used.
std::string RecordRefusal(const TJobRecord& record, const std::string& settingsPath);

class TRecovery {
 public:
  // `language`: of the notice and the question the user sees.
  TRecovery(std::string jobRecordPath, std::string settingsPath, std::string historyPath, TOperationLog& log,
            TRecoveryPassword password, TLanguage language = TLanguage::Russian)
      : FPath(std::move(jobRecordPath)),
        FSettingsPath(std::move(settingsPath)),
        FHistoryPath(std::move(historyPath)),
        FLog(log),
        FPassword(std::move(password)),
        FLanguage(language) {}

  // When the record is there: finishes the job (see above), says in the
  // operation log what was done and what was left, adds the job to the
  // history (interrupted_history.h), shows the steps on `output`'s pane and
  // tells the user once (a notice). A record that cannot
  // be read or trusted is set aside ("<record>.ignored") with a log line. A
  // record whose steps needed a password nobody gave stays for the next
  // start. False when there was nothing to finish.
  bool FinishInterruptedJob(TJobOutput& output);

  // How long after its last sign of life the job may still have touched a
  // file (its request's last writes).
  static constexpr int GraceSeconds = 3 * TJobRecordFile::AliveSeconds;

 private:
  class TRun;

  // The history's records of the finished job; a record that cannot be
  // written adds a line to `lines`.
  void AddToHistory(const TJobRecord& record, bool targetFinished, std::vector<std::string>& lines);

  std::string FPath;
  std::string FSettingsPath;
  std::string FHistoryPath;
  TOperationLog& FLog;
  TRecoveryPassword FPassword;
  TLanguage FLanguage;
};
