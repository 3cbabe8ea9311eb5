#pragma once
// What the job history learns of a job that a crash or a kill cut short,
// once recovery has finished it: the job's record with its outcome, so the
// history, its page and the monitoring built on it see what happened.
//
// A job that had succeeded but for its clean-up is a success. A physical
// backup whose file its server finished is a success of its level (the file
// is a link of its chain) and, when the job verified its backups, a failed
// verification. Anything else is a failure, its reason InterruptedReason and
// what recovery did.

#include <string>
#include <vector>

#include "controller/history/job_history.h"
#include "controller/jobs/job_record.h"

inline constexpr const char* InterruptedReason =
    "The job was interrupted: the program ended in the middle of it (a crash or a kill)";

// The records, in the order to append them; `targetFinished`: the physical
// backup's file was finished by its server; `steps`: what recovery did;
// `history`: the history as it stands (a level's chain is found in it).
std::vector<THistoryRecord> InterruptedJobRecords(const TJobRecord& record, bool targetFinished,
                                                  const std::vector<std::string>& steps,
                                                  const std::vector<THistoryRecord>& history);
