#include "controller/settings/settings.h"

std::vector<TPlanEntry> PlanEntriesOf(const TSettings& settings) {
  std::vector<TPlanEntry> entries;
  entries.reserve(1 + settings.MorePlanEntries.size());
  TPlanEntry first;
  static_cast<TDatabaseOptions&>(first) = settings;
  if (!settings.PlanDataBase.empty()) first.DataBase = settings.PlanDataBase;
  first.Id = 1;
  first.PlanRecord = settings.PlanRecord;
  first.LevelPlans = settings.LevelPlans;
  entries.push_back(std::move(first));
  entries.insert(entries.end(), settings.MorePlanEntries.begin(), settings.MorePlanEntries.end());
  return entries;
}

void SetPlanEntries(TSettings& settings, const std::vector<TPlanEntry>& entries) {
  settings.MorePlanEntries.clear();
  if (entries.empty()) return;
  const TPlanEntry& first = entries.front();
  settings.PlanRecord = first.PlanRecord;
  settings.LevelPlans = first.LevelPlans;
  settings.BackupKind = first.BackupKind;
  settings.KeepLastBackups = first.KeepLastBackups;
  settings.KeepBackupDays = first.KeepBackupDays;
  settings.Offsite = first.Offsite;
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
  entry.BackupKind = TDatabaseOptions::BackupKindLogical;
  entry.LevelPlans = {};
  // A new database's backups go off-site only when asked to.
  entry.Offsite = {};
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

namespace {

// "hh:nn:ss" of a time of day, and back ("H:MM" and "H:MM:SS" read).
std::string TimeText(TDateTime value) { return FormatDateTime("hh:nn:ss", value); }

bool ReadTime(const std::string& text, TDateTime& value) {
  int parts[3] = {0, 0, 0};
  int count = 0;
  std::size_t i = 0;
  while (count < 3 && i < text.size()) {
    std::size_t start = i;
    int number = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 2)
      number = number * 10 + (text[i++] - '0');
    if (i == start) return false;
    parts[count++] = number;
    if (i < text.size() && text[i++] != ':') return false;
  }
  return count >= 2 && i == text.size() && TryEncodeTime(parts[0], parts[1], parts[2], 0, value);
}

}  // namespace

bool PlanOnAnyDay(const TPlanRecord& plan) {
  return plan.Day1Back || plan.Day2Back || plan.Day3Back || plan.Day4Back || plan.Day5Back || plan.Day6Back ||
         plan.Day7Back;
}

std::string LevelPlanText(const TPlanRecord& plan) {
  if (!PlanOnAnyDay(plan)) return {};
  const bool days[] = {plan.Day1Back, plan.Day2Back, plan.Day3Back, plan.Day4Back,
                       plan.Day5Back, plan.Day6Back, plan.Day7Back};
  std::string text = "days=";
  for (bool day : days) text += day ? '1' : '0';
  text += ";day=" + TimeText(plan.DayBeginBack) + ";night=" + TimeText(plan.NightBeginBack);
  text += ";dayperiod=" + std::to_string(plan.DayPeriodBack) + ";nightperiod=" + std::to_string(plan.NightPeriodBack);
  text += ";dayclock=" + TimeText(plan.DayClockBack) + ";nightclock=" + TimeText(plan.NightClockBack);
  return text;
}

TPlanRecord ParseLevelPlan(const std::string& text) {
  TPlanRecord plan;
  plan.QueueBack = 1;
  bool* const days[] = {&plan.Day1Back, &plan.Day2Back, &plan.Day3Back, &plan.Day4Back,
                        &plan.Day5Back, &plan.Day6Back, &plan.Day7Back};
  TDateTime* const times[] = {&plan.DayBeginBack, &plan.NightBeginBack, &plan.DayClockBack, &plan.NightClockBack};
  const char* const timeKeys[] = {"day", "night", "dayclock", "nightclock"};
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(start, end - start);
    start = end + 1;
    const std::size_t eq = item.find('=');
    if (eq == std::string::npos) return {};
    const std::string key = item.substr(0, eq);
    const std::string value = item.substr(eq + 1);
    bool read = false;
    if (key == "days" && value.size() == 7 && value.find_first_not_of("01") == std::string::npos) {
      for (std::size_t d = 0; d < 7; ++d) *days[d] = value[d] == '1';
      read = true;
    }
    if ((key == "dayperiod" || key == "nightperiod") && value.size() == 1 && value[0] >= '0' && value[0] <= '7') {
      (key == "dayperiod" ? plan.DayPeriodBack : plan.NightPeriodBack) = static_cast<std::uint8_t>(value[0] - '0');
      read = true;
    }
    for (std::size_t t = 0; t < 4; ++t)
      if (key == timeKeys[t]) read = ReadTime(value, *times[t]);
    // A text that does not read turns the level off rather than guess.
    if (!read) return {};
  }
  return plan;
}
