#include "controller/settings/settings.h"

std::vector<TPlanEntry> PlanEntriesOf(const TSettings& settings) {
  std::vector<TPlanEntry> entries;
  entries.reserve(1 + settings.MorePlanEntries.size());
  TPlanEntry first;
  static_cast<TDatabaseOptions&>(first) = settings;
  if (!settings.PlanDataBase.empty()) first.DataBase = settings.PlanDataBase;
  first.Id = 1;
  first.PlanRecord = settings.PlanRecord;
  entries.push_back(std::move(first));
  entries.insert(entries.end(), settings.MorePlanEntries.begin(), settings.MorePlanEntries.end());
  return entries;
}

void SetPlanEntries(TSettings& settings, const std::vector<TPlanEntry>& entries) {
  settings.MorePlanEntries.clear();
  if (entries.empty()) return;
  const TPlanEntry& first = entries.front();
  settings.PlanRecord = first.PlanRecord;
  settings.KeepLastBackups = first.KeepLastBackups;
  settings.KeepBackupDays = first.KeepBackupDays;
  // A one-database plan backs up the database last named, as it always has;
  // beside other entries entry 1 keeps its own.
  if (entries.size() > 1 || !settings.PlanDataBase.empty())
    settings.PlanDataBase = first.DataBase;
  else
    settings.DataBase = first.DataBase;
  settings.MorePlanEntries.assign(entries.begin() + 1, entries.end());
  for (TPlanEntry& entry : settings.MorePlanEntries)
    if (entry.Id <= 1) entry.Id = ++settings.LastPlanEntryId;
}

TPlanEntry NewPlanEntry(TSettings& settings, const std::string& database) {
  TPlanEntry entry;
  static_cast<TDatabaseOptions&>(entry) = settings;
  entry.DataBase = database;
  entry.KeepLastBackups = 0;
  entry.KeepBackupDays = 0;
  entry.PlanRecord.QueueBack = 1;
  entry.Id = ++settings.LastPlanEntryId;
  return entry;
}

TDatabaseOptions JobOptionsOf(const TPlanEntry& entry, const TSettings& settings) {
  TDatabaseOptions options = entry;
  if (!entry.OwnLogin) {
    options.User = settings.User;
    options.Pass = settings.Pass;
  }
  return options;
}
