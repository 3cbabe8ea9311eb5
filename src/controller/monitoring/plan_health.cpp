#include "controller/monitoring/plan_health.h"

#include <algorithm>

#include "controller/messages/messages.h"
#include "controller/plan/plan_dry_run.h"
#include "controller/plan_editor/plan_editor.h"
#include "platform/iso_time.h"

namespace {

bool IsPlanBackup(const THistoryRecord& record, const std::string& database) {
  return record.By == HistoryByPlan && (record.Kind == HistoryKindBackup || record.Kind == HistoryKindNBackup) &&
         SameDatabase(record.Database, database);
}

// "1 h 20 min", "3 d 2 h", "45 s".
std::string Span(std::int64_t seconds) {
  if (seconds < 120) return std::to_string(seconds) + " s";
  const std::int64_t minutes = seconds / 60;
  if (minutes < 120) return std::to_string(minutes) + " min";
  const std::int64_t hours = minutes / 60;
  if (hours < 48) return std::to_string(hours) + " h " + std::to_string(minutes % 60) + " min";
  return std::to_string(hours / 24) + " d " + std::to_string(hours % 24) + " h";
}

bool IsPlanOffsiteCopy(const THistoryRecord& record, const std::string& database) {
  return record.By == HistoryByPlan && record.Kind == HistoryKindOffsite && SameDatabase(record.Database, database);
}

// A failed last off-site copy makes an entry that is otherwise fine a
// WARNING: the backup on the server stands, the copy elsewhere is missing.
void JudgeOffsite(TEntryHealth& health) {
  if (!health.LastOffsite || health.LastOffsite->Succeeded() || health.Health != THealth::Ok) return;
  health.Health = THealth::Warning;
  health.Reason = "last off-site copy failed at " + health.LastOffsite->End + ": " +
                  ShownReason(health.LastOffsite->Reason, TLanguage::English);
}

void Judge(TEntryHealth& health) {
  if (!health.LongestGap) {
    health.Reason = "makes no plan backups";
    if (!health.Last) return;
  }
  if (!health.Last) {
    health.Health = THealth::Warning;
    health.Reason = "no plan backup yet";
    return;
  }
  const bool tooOld = !health.Age || (health.CriticalAfter && *health.Age > *health.CriticalAfter);
  const bool late = health.Age && health.WarningAfter && *health.Age > *health.WarningAfter;
  const std::string since = health.LastSuccess ? "last success " + health.LastSuccess->Start : "no success yet";
  if (!health.Last->Succeeded()) {
    health.Health = tooOld && health.LongestGap ? THealth::Critical : THealth::Warning;
    health.Reason = "last plan backup failed at " + health.Last->End + ": " +
                    ShownReason(health.Last->Reason, TLanguage::English) + " (" + since + ")";
    return;
  }
  if (!health.LongestGap) return;
  if (tooOld || late) {
    health.Health = tooOld ? THealth::Critical : THealth::Warning;
    health.Reason = "last plan backup " + health.Last->Start + " is " + Span(*health.Age) + " old, more than " +
                    Span(tooOld ? *health.CriticalAfter : *health.WarningAfter) + " its plan allows";
    return;
  }
  health.Reason = "last plan backup " + health.Last->Start + " succeeded";
}

}  // namespace

const char* HealthWord(THealth health) {
  switch (health) {
    case THealth::Ok: return "OK";
    case THealth::Warning: return "WARNING";
    case THealth::Critical: return "CRITICAL";
    case THealth::Unknown: break;
  }
  return "UNKNOWN";
}

std::vector<TEntryHealth> PlanHealthOf(const std::vector<TPlanEntry>& entries,
                                       const std::vector<THistoryRecord>& records, const TClockReading& now) {
  std::vector<TEntryHealth> result;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TPlanEntry& entry = entries[i];
    if (entry.DataBase.empty()) continue;
    TEntryHealth health;
    health.Number = i + 1;
    health.Database = entry.DataBase;
    health.LongestGap = LongestPlanGap(entry, now);
    for (const THistoryRecord& record : records) {
      if (IsPlanOffsiteCopy(record, entry.DataBase)) {
        health.LastOffsite = record;
        if (record.Succeeded())
          health.LastOffsiteSuccess = record;
        else
          ++health.OffsiteFailures;
      }
      if (!IsPlanBackup(record, entry.DataBase)) continue;
      health.Last = record;
      if (record.Succeeded())
        health.LastSuccess = record;
      else
        ++health.Failures;
    }
    if (health.LastSuccess) {
      if (const auto start = health.LastSuccess->StartSeconds()) health.Age = now.UtcMs / 1000 - *start;
      const std::int64_t duration = std::max<std::int64_t>(0, health.LastSuccess->DurationSeconds().value_or(0));
      if (health.LongestGap) {
        health.WarningAfter = *health.LongestGap + duration + PlanHealthSlack;
        health.CriticalAfter = 2 * *health.LongestGap + duration + PlanHealthSlack;
      }
    }
    Judge(health);
    JudgeOffsite(health);
    result.push_back(std::move(health));
  }
  return result;
}

TPlanHealth OverallHealth(const std::vector<TEntryHealth>& entries, const std::string& runner) {
  TPlanHealth plan;
  std::vector<std::string> reasons;
  if (runner.empty()) {
    plan.Health = THealth::Critical;
    reasons.push_back("nothing runs the plan");
  }
  if (entries.empty()) {
    plan.Health = std::max(plan.Health, THealth::Warning);
    reasons.push_back("the plan has no databases");
  }
  for (const TEntryHealth& entry : entries) {
    if (entry.Health == THealth::Ok) continue;
    plan.Health = std::max(plan.Health, entry.Health);
    reasons.push_back(entry.Database + ": " + entry.Reason);
  }
  std::string text;
  for (const std::string& reason : reasons) text += (text.empty() ? "" : "; ") + reason;
  if (text.empty())
    text = "plan run by " + runner + "; " + std::to_string(entries.size()) +
           (entries.size() == 1 ? " database" : " databases") + " backed up on time";
  plan.Summary = std::string("QUORVIN ") + HealthWord(plan.Health) + " - " + text;
  return plan;
}
