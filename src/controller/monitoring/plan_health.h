#pragma once
// How the plan of a settings file is doing, for monitoring: per entry, its
// last plan backup as the history has it, against what the entry's rhythm
// allows, in the verdicts of monitoring plugins (OK, WARNING, CRITICAL).
//
// An entry is late (WARNING) once its last successful plan backup started
// longer ago than the longest gap of its plan in a week, plus that backup's
// duration, plus PlanHealthSlack (its turn may come after other entries'
// backups): one backup is missing. It is CRITICAL once twice the gap has
// passed (two are missing). A last plan backup that failed is a WARNING,
// CRITICAL when the last success is that old too; a last off-site copy that
// failed is a WARNING (the backup itself stands). Nothing running the plan
// is CRITICAL.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "controller/history/job_history.h"
#include "controller/settings/settings.h"
#include "platform/clock.h"

enum class THealth { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

// "OK", "WARNING", "CRITICAL", "UNKNOWN".
const char* HealthWord(THealth health);

inline constexpr std::int64_t PlanHealthSlack = 10 * 60;

struct TEntryHealth {
  std::size_t Number = 0;  // in the list, 1 the first
  std::string Database;
  // The longest gap of the entry's plan in seconds; none: it makes no plan
  // backups.
  std::optional<std::int64_t> LongestGap;
  // The last plan backup, and the last that succeeded.
  std::optional<THistoryRecord> Last;
  std::optional<THistoryRecord> LastSuccess;
  std::int64_t Failures = 0;  // failed plan backups in the history
  // The last off-site copy of a plan backup, the last that was made, and
  // those that failed (an entry with an off-site place).
  std::optional<THistoryRecord> LastOffsite;
  std::optional<THistoryRecord> LastOffsiteSuccess;
  std::int64_t OffsiteFailures = 0;
  // Seconds since the last success started; past WarningAfter it is late.
  std::optional<std::int64_t> Age;
  std::optional<std::int64_t> WarningAfter;
  std::optional<std::int64_t> CriticalAfter;
  THealth Health = THealth::Ok;
  std::string Reason;  // what is not OK, or how it is OK
};

// The entries that name a database, judged at `now` from the history's
// `records` (oldest first).
std::vector<TEntryHealth> PlanHealthOf(const std::vector<TPlanEntry>& entries,
                                       const std::vector<THistoryRecord>& records, const TClockReading& now);

// The whole plan: the worst of its entries, CRITICAL while nothing runs it
// (`runner`, who runs it, empty), WARNING for a plan without databases; `summary` the one
// line of a monitoring plugin ("QUORVIN OK - …").
struct TPlanHealth {
  THealth Health = THealth::Ok;
  std::string Summary;
};
TPlanHealth OverallHealth(const std::vector<TEntryHealth>& entries, const std::string& runner);
