#include "controller/plan_editor/plan_editor.h"

#include <filesystem>
#include <utility>

#include "controller/plan/plan_summary.h"

namespace {

// Every digit: an entry's number.
bool IsNumber(const std::string& text) {
  return !text.empty() && text.size() < 10 && text.find_first_not_of("0123456789") == std::string::npos;
}

// A local path in its absolute, normal form; a network name (\\server\…) as
// it is.
std::string Normal(const std::string& path) {
  if (path.empty() || path.rfind("\\\\", 0) == 0 || path.find('\\') != std::string::npos) return path;
  return std::filesystem::absolute(path).lexically_normal().string();
}

// The plan's first line without a database or a plan; its options stay the
// program's.
TPlanEntry EmptyEntry(const TSettings& settings) {
  TPlanEntry entry;
  static_cast<TDatabaseOptions&>(entry) = settings;
  entry.DataBase.clear();
  entry.KeepLastBackups = 0;
  entry.KeepBackupDays = 0;
  entry.BackupKind = TDatabaseOptions::BackupKindLogical;
  entry.Offsite = {};
  entry.Id = 1;
  entry.PlanRecord.QueueBack = 1;
  return entry;
}

void ApplyOptions(TPlanEntry& entry, const TEntryChanges& changes) {
  if (changes.Protocol) entry.Protocol = *changes.Protocol;
  if (changes.Shutdown) entry.BackShutDown = *changes.Shutdown;
  if (changes.DatedNames) entry.AutoBackName = *changes.DatedNames;
  if (changes.Verify) entry.VerifyBackup = *changes.Verify;
  if (changes.CopyDir) entry.LocalCopyDir = *changes.CopyDir;
  if (changes.CopyDir && changes.CopyDir->empty()) entry.LocalCopyOnly = false;
  if (changes.CopyOnly) entry.LocalCopyOnly = *changes.CopyOnly;
  if (changes.KeepLast) entry.KeepLastBackups = *changes.KeepLast;
  if (changes.KeepDays) entry.KeepBackupDays = *changes.KeepDays;
  if (changes.Kind) entry.BackupKind = *changes.Kind;
  changes.Offsite.ApplyTo(entry.Offsite);
  changes.Rhythms[0].ApplyTo(entry.PlanRecord);
  for (int level = 1; level <= PlanLevels; ++level) changes.Rhythms[level].ApplyTo(entry.LevelPlans.Level[level - 1]);
}

// Why the rhythm of one window of `plan` can never start a backup; empty
// when it can (or the window has none).
std::string WindowProblem(const TPlanRecord& plan, TPlanWindow window, const std::string& what) {
  const TRhythmProblem problem = RhythmProblemOf(plan, window);
  if (problem == TRhythmProblem::None) return {};
  const bool day = window == TPlanWindow::Day;
  const std::string dayStart = StartText(plan.DayBeginBack);
  const std::string nightStart = StartText(plan.NightBeginBack);
  const std::string text = what + "'s " + (day ? "day" : "night") + " rhythm can never run: ";
  if (problem == TRhythmProblem::NoWindow && day)
    return text + "the night (--night " + nightStart + ") does not start after the day (--day " + dayStart +
           "), so the night window lasts all day";
  if (problem == TRhythmProblem::NoWindow) return text + "the day window takes every minute of the day";
  const std::string span = day ? dayStart + "-" + nightStart : nightStart + "-" + dayStart;
  const std::string where = std::string(day ? "the day" : "the night") + " window (" + span + ")";
  const std::uint8_t period = day ? plan.DayPeriodBack : plan.NightPeriodBack;
  if (period == 7) return text + StartText(day ? plan.DayClockBack : plan.NightClockBack) + " is outside " + where;
  return text + "none of its minutes falls within " + where;
}

// The rhythms of `plan` that can never run, then what makes it back up
// nothing.
std::vector<std::string> RhythmWarnings(const TPlanRecord& plan, const std::string& what) {
  if (!PlanOnAnyDay(plan)) return {what + " is on no weekday: it makes no backups"};
  std::vector<std::string> warnings;
  for (const TPlanWindow window : {TPlanWindow::Day, TPlanWindow::Night})
    if (std::string problem = WindowProblem(plan, window, what); !problem.empty()) warnings.push_back(problem);
  const bool dayRhythm = plan.DayPeriodBack > 0 && plan.DayPeriodBack <= 7;
  const bool nightRhythm = plan.NightPeriodBack > 0 && plan.NightPeriodBack <= 7;
  if (!nightRhythm && !dayRhythm) warnings.push_back(what + " has no rhythm: it makes no backups");
  return warnings;
}

// The plans of `entry` that are made: its own, and its levels that are on
// some weekday (a level on none is simply not made).
std::vector<std::pair<const TPlanRecord*, std::string>> PlansOf(const TPlanEntry& entry) {
  std::vector<std::pair<const TPlanRecord*, std::string>> plans = {{&entry.PlanRecord, "its plan"}};
  for (int level = 1; entry.Incremental() && level <= PlanLevels; ++level)
    if (PlanOnAnyDay(entry.LevelPlans.Level[level - 1]))
      plans.emplace_back(&entry.LevelPlans.Level[level - 1], "level " + std::to_string(level));
  return plans;
}

}  // namespace

bool TRhythmChanges::Any() const {
  return Days || DayStart || NightStart || DayPeriod || NightPeriod || DayClock || NightClock;
}

void TRhythmChanges::ApplyTo(TPlanRecord& plan) const {
  if (Days) {
    bool* const days[] = {&plan.Day1Back, &plan.Day2Back, &plan.Day3Back, &plan.Day4Back,
                          &plan.Day5Back, &plan.Day6Back, &plan.Day7Back};
    for (std::size_t day = 0; day < 7; ++day) *days[day] = (*Days)[day];
  }
  if (DayStart) plan.DayBeginBack = *DayStart;
  if (NightStart) plan.NightBeginBack = *NightStart;
  if (DayPeriod) plan.DayPeriodBack = *DayPeriod;
  if (NightPeriod) plan.NightPeriodBack = *NightPeriod;
  if (DayClock) {
    plan.DayPeriodBack = 7;
    plan.DayClockBack = *DayClock;
  }
  if (NightClock) {
    plan.NightPeriodBack = 7;
    plan.NightClockBack = *NightClock;
  }
  plan.QueueBack = 1;
}

void TOffsiteChanges::ApplyTo(TOffsiteSettings& place) const {
  if (Url && Url->empty()) {
    place = {};
    return;
  }
  if (Url) place.Url = *Url;
  if (Endpoint) place.Endpoint = *Endpoint;
  if (Region) place.Region = *Region;
  if (PathStyle) place.PathStyle = *PathStyle;
  if (Credentials) place.Credentials = *Credentials;
  if (EncryptKey) place.EncryptKey = *EncryptKey;
}

void THookChanges::ApplyTo(TSettings& settings) const {
  if (OnFailure) settings.OnFailure = *OnFailure;
  if (OnSuccess) settings.OnSuccess = *OnSuccess;
  if (TimeLimit) settings.TimeLimit = *TimeLimit;
}

TPlanEditor::TPlanEditor(TSettings& settings)
    : FSettings(settings), FBefore(settings), FEntries(PlanEntriesOf(settings)) {}

std::size_t TPlanEditor::IndexOf(const std::string& entry) const {
  if (IsNumber(entry)) {
    const std::size_t number = std::stoul(entry);
    if (number >= 1 && number <= FEntries.size()) return number - 1;
    throw EPlanEdit("no entry " + entry + ": the plan has " + std::to_string(FEntries.size()) +
                    (FEntries.size() == 1 ? " entry" : " entries"));
  }
  std::vector<std::size_t> found;
  for (std::size_t i = 0; i < FEntries.size(); ++i)
    if (SameDatabase(FEntries[i].DataBase, entry)) found.push_back(i);
  if (found.empty()) throw EPlanEdit("no entry of the plan backs up " + entry);
  if (found.size() > 1)
    throw EPlanEdit("entries " + std::to_string(found[0] + 1) + " and " + std::to_string(found[1] + 1) + " back up " +
                    entry + ": name the entry by its number");
  return found.front();
}

std::size_t TPlanEditor::Add(const std::string& database, const TEntryChanges& changes) {
  if (database.empty()) throw EPlanEdit("no database given");
  if (FEntries.front().DataBase.empty()) {
    FEntries.front().DataBase = database;
    Change(0, changes);
    return 0;
  }
  FEntries.push_back(NewPlanEntry(FSettings, database));
  Change(FEntries.size() - 1, changes);
  return FEntries.size() - 1;
}

void TPlanEditor::Change(std::size_t index, const TEntryChanges& changes) {
  TPlanEntry& entry = FEntries.at(index);
  if (index == 0 && changes.ProgramLogin)
    throw EPlanEdit("entry 1 always uses the program's login: give it with --user and --password-file");
  ApplyOptions(entry, changes);
  if (changes.User) entry.User = *changes.User;
  if (changes.Pass) entry.Pass = *changes.Pass;
  // Entry 1's login is the program's, remembered from now on.
  if (changes.Login()) entry.OwnLogin = true;
  if (changes.ProgramLogin) entry.OwnLogin = false;
  if (entry.LocalCopyOnly && entry.LocalCopyDir.empty())
    throw EPlanEdit("a copy only on this computer needs its folder: give --copy-dir");
  Apply();
}

void TPlanEditor::Remove(std::size_t index) {
  if (FEntries.size() == 1 && FEntries.front().DataBase.empty()) throw EPlanEdit("the plan has no entries");
  FEntries.erase(FEntries.begin() + static_cast<std::ptrdiff_t>(index));
  if (FEntries.empty()) {
    // The plan's first line stays, empty: its database is the one [Main]
    // names while [Plan] names none.
    FEntries.push_back(EmptyEntry(FSettings));
    FSettings.DataBase.clear();
    FSettings.PlanDataBase.clear();
  }
  Apply();
}

void TPlanEditor::Apply() {
  TPlanEntry& first = FEntries.front();
  // The options of a job of entry 1 are the program's.
  CopyJobOptions(FSettings, first);
  if (first.OwnLogin) {
    FSettings.User = first.User;
    FSettings.Pass = first.Pass;
    FSettings.RememberPass = true;
    first.OwnLogin = false;
  }
  first.User = FSettings.User;
  first.Pass = FSettings.Pass;
  SetPlanEntries(FSettings, FEntries);
  FEntries = PlanEntriesOf(FSettings);
}

void CopyJobOptions(TDatabaseOptions& to, const TDatabaseOptions& from) {
  to.Protocol = from.Protocol;
  to.BackShutDown = from.BackShutDown;
  to.BackParam1 = from.BackParam1;
  to.BackParam2 = from.BackParam2;
  to.BackParam3 = from.BackParam3;
  to.BackParam4 = from.BackParam4;
  to.BackParam5 = from.BackParam5;
  to.BackParam6 = from.BackParam6;
  to.BackParam7 = from.BackParam7;
  to.AutoBackName = from.AutoBackName;
  to.VerifyBackup = from.VerifyBackup;
  to.LocalCopyDir = from.LocalCopyDir;
  to.LocalCopyOnly = from.LocalCopyOnly;
}

bool SameDatabase(const std::string& a, const std::string& b) {
  return a == b || (!a.empty() && !b.empty() && Normal(a) == Normal(b));
}

std::vector<std::string> EntryWarnings(const TPlanEntry& entry) {
  if (entry.DataBase.empty()) return {"it names no database"};
  std::vector<std::string> warnings;
  for (const auto& [plan, what] : PlansOf(entry))
    for (const std::string& warning : RhythmWarnings(*plan, what)) warnings.push_back(warning);
  if (entry.Offsite.Active() && entry.Incremental())
    warnings.push_back("its off-site place is not used: off-site copies are made of logical backups only");
  return warnings;
}

std::vector<std::string> RhythmRefusals(const TPlanEntry& entry) {
  std::vector<std::string> refusals;
  for (const auto& [plan, what] : PlansOf(entry))
    for (const TPlanWindow window : {TPlanWindow::Day, TPlanWindow::Night})
      if (std::string problem = WindowProblem(*plan, window, what); !problem.empty()) refusals.push_back(problem);
  return refusals;
}
