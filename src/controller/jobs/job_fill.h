#pragma once
// What every job of the jobs part describes alike.

#include <cstdint>
#include <functional>
#include <string>

#include "controller/settings/settings.h"
#include "jobs/job.h"

class TJobOutput;
class TOperationLog;
enum class TJobBy;

// The name of a verification's jobs (test restore, check of a chain).
inline constexpr const char* VerifyJobName = "VERIFY BACKUP";

// Kind, name, `db`'s login and protocol, no job log, no switches.
TJob DescribeJob(const TDatabaseOptions& db, TJobKind kind, const char* name);
// The options of `db`'s backup switches (BackParam1…) and restore switches
// (RestParam1…).
TBackupOptions BackupOptionsOf(const TDatabaseOptions& db);
TRestoreOptions RestoreOptionsOf(const TDatabaseOptions& db);

// Administrator without a password: the user decides whether to go on (a
// plan backup goes on and fails as any refusal does).
bool AdminLoginAccepted(const std::string& user, const std::string& pass, TJobOutput& output);
// The history's word for who started a job.
const char* ByOf(TJobBy by);
// The operation log's line of a job's outcome: `done` or `notDone`, then the
// file.
void LogJobOutcome(TOperationLog& log, bool succeeded, const char* done, const char* notDone, const std::string& file);

enum class TErrorOrder { PaneFirst, BoxFirst };
// Runs `run` (which describes and runs a job); a job that ends badly gets a
// beep and `failureText`, an error raised on the way is shown in the pane
// and in a box, in `order`. True when the job succeeded.
bool RunReported(TJobOutput& output, const std::function<bool()>& run, const char* failureText, TErrorOrder order);
