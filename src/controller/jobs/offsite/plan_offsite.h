#pragma once
// What the plan does after a backup of an entry with an off-site place has
// succeeded: the copy sent to the bucket (under Object Lock where the bucket
// has it and the entry's rule gives a date: offsite_place.h), then the
// entry's retention applied in the bucket (offsite_retention.h). A copy that
// fails is reported as such; the backup's own success and its file stay as
// they are.

#include <string>

#include "controller/jobs/database_jobs.h"
#include "runner/job_notices.h"

class TJobOutput;
class TOperationLog;

// `db`: the entry's options and login. Returns the copy's report for the
// notices and the hooks (What: OffsiteCopy; Target: the copy's location).
TJobReport MakePlanOffsiteCopy(const TDatabaseOptions& db, const TBackupOutcome& made, const std::string& historyPath,
                               TOperationLog& log, TJobOutput& output);
