// The settings file: one table of every key with its field and default, which
// reading (ReadIni) and both writers (WriteIni, SavePlan) walk in its order.

#include <string>
#include <string_view>
#include <variant>

#include "controller/quorvin.h"
#include "platform/profile_file.h"

namespace {

// The field a key is read into. Its type decides how the key is read and
// written: text, integer, boolean (any nonzero integer), an integer kept in
// 8 bits (only the low byte of the value read remains), a time of day, or the
// list of recent databases (numbered keys Name0, Name1 …).
using TSettingField = std::variant<std::string TQuorvin::*, std::int32_t TQuorvin::*, bool TQuorvin::*,
                                   std::vector<std::string> TQuorvin::*, bool TPlanRecord::*,
                                   std::uint8_t TPlanRecord::*, TDateTime TPlanRecord::*>;
// The value a missing key gives, in the type its field reads.
using TSettingValue = std::variant<std::string_view, std::int32_t, bool, TDateTime>;

enum class TSettingRule {
  Plain,
  // Written from its field only while RememberPass is on; otherwise the key
  // stays in the file, empty.
  Login,
  // Written only when the state it keeps changes (SavePlanRunning), never
  // by WriteIni or SavePlan.
  OwnWrite,
  // A key later versions added, which older files lack: written only once
  // its value differs from the default or the file has it, so a file of an
  // older version keeps its lines byte for byte while the addition is unused.
  Added,
};

struct TSetting {
  const char* Section;
  const char* Key;
  TSettingField Field;
  TSettingValue Default;
  TSettingRule Rule = TSettingRule::Plain;
};

constexpr const char* SectionPlan = "Plan";
// The list of recent databases holds at most this many names.
constexpr int MaxBDNames = 11;

// Every key, in the order it is read and written. WriteIni writes every
// section but [Plan]; SavePlan writes [Plan] alone. (Reading takes all values
// from one snapshot of the file, so the order matters for the writes: keys
// the file lacks are added in it.)
const TSetting Settings[] = {
    {"Main", "DataBase", &TQuorvin::DataBase, ""},
    {"Main", "LastBack", &TQuorvin::LastBack, ""},
    {"Main", "PageSize", &TQuorvin::PageSize, 4096},
    {"Parameters", "Protocol", &TQuorvin::Protocol, -1},
    {"Parameters", "BackShutDown", &TQuorvin::BackShutDown, true},
    {"Parameters", "BackParam1", &TQuorvin::BackParam1, false},
    {"Parameters", "BackParam2", &TQuorvin::BackParam2, true},
    {"Parameters", "BackParam3", &TQuorvin::BackParam3, false},
    {"Parameters", "BackParam4", &TQuorvin::BackParam4, false},
    {"Parameters", "BackParam5", &TQuorvin::BackParam5, false},
    {"Parameters", "BackParam6", &TQuorvin::BackParam6, false},
    {"Parameters", "BackParam7", &TQuorvin::BackParam7, false},
    {"Parameters", "RestParam1", &TQuorvin::RestParam1, false},
    {"Parameters", "RestParam2", &TQuorvin::RestParam2, false},
    {"Parameters", "RestParam3", &TQuorvin::RestParam3, false},
    {"Parameters", "RestParam4", &TQuorvin::RestParam4, false},
    {"Parameters", "RestParam5", &TQuorvin::RestParam5, true},
    {"Parameters", "RestParam6", &TQuorvin::RestParam6, false},
    {"Parameters", "RestParam7", &TQuorvin::RestParam7, false},
    {"Parameters", "AutoBackName", &TQuorvin::AutoBackName, true},
    {"Parameters", "RememberPass", &TQuorvin::RememberPass, false},
    {"Parameters", "VerifyBackup", &TQuorvin::VerifyBackup, false, TSettingRule::Added},
    {"Parameters", "LocalCopyDir", &TQuorvin::LocalCopyDir, "", TSettingRule::Added},
    {"Parameters", "LocalCopyOnly", &TQuorvin::LocalCopyOnly, false, TSettingRule::Added},
    {SectionPlan, "Day1Back", &TPlanRecord::Day1Back, false},
    {SectionPlan, "Day2Back", &TPlanRecord::Day2Back, false},
    {SectionPlan, "Day3Back", &TPlanRecord::Day3Back, false},
    {SectionPlan, "Day4Back", &TPlanRecord::Day4Back, false},
    {SectionPlan, "Day5Back", &TPlanRecord::Day5Back, false},
    {SectionPlan, "Day6Back", &TPlanRecord::Day6Back, false},
    {SectionPlan, "Day7Back", &TPlanRecord::Day7Back, false},
    {SectionPlan, "DayPeriodBack", &TPlanRecord::DayPeriodBack, 0},
    {SectionPlan, "NightPeriodBack", &TPlanRecord::NightPeriodBack, 0},
    {SectionPlan, "QueueBack", &TPlanRecord::QueueBack, 1},
    {SectionPlan, "DayBeginBack", &TPlanRecord::DayBeginBack, TDateTime{0}},
    {SectionPlan, "NightBeginBack", &TPlanRecord::NightBeginBack, TDateTime{0}},
    {SectionPlan, "DayClockBack", &TPlanRecord::DayClockBack, TDateTime{0}},
    {SectionPlan, "NightClockBack", &TPlanRecord::NightClockBack, TDateTime{0}},
    {SectionPlan, "KeepLastBackups", &TQuorvin::KeepLastBackups, 0, TSettingRule::Added},
    {SectionPlan, "KeepBackupDays", &TQuorvin::KeepBackupDays, 0, TSettingRule::Added},
    {SectionPlan, "StartWithSession", &TQuorvin::StartWithSession, false, TSettingRule::Added},
    {SectionPlan, "ResumePlan", &TQuorvin::ResumePlan, false, TSettingRule::Added},
    {SectionPlan, "PlanRunning", &TQuorvin::PlanRunning, false, TSettingRule::OwnWrite},
    {"Main", "Pass", &TQuorvin::Pass, "", TSettingRule::Login},
    {"Main", "User", &TQuorvin::User, "SYSDBA", TSettingRule::Login},
    {"BDNames", "Name", &TQuorvin::BDNames, ""},
};

template <typename... TVisitors>
struct TOverloaded : TVisitors... {
  using TVisitors::operator()...;
};

std::string Numbered(const char* prefix, int n) { return prefix + std::to_string(n); }

// A plan time that the parser rejects (a locale change, a hand edit) reads as
// the default, the same as a missing key, and reading goes on: the rest of
// the settings are read in full, and the [Plan] section is written again only
// when the user saves the plan.
TDateTime ReadPlanTime(const TIniFile& ini, const TSetting& setting) {
  try {
    return ini.ReadTime(setting.Section, setting.Key, std::get<TDateTime>(setting.Default));
  } catch (const EConvertError&) {
    return std::get<TDateTime>(setting.Default);
  }
}

void ReadSetting(const TIniFile& ini, const TSetting& setting, TQuorvin& q) {
  const char* section = setting.Section;
  const char* key = setting.Key;
  const TSettingValue& def = setting.Default;
  std::visit(
      TOverloaded{
          [&](std::string TQuorvin::*field) {
            q.*field = ini.ReadString(section, key, std::string(std::get<std::string_view>(def)));
          },
          [&](std::int32_t TQuorvin::*field) { q.*field = ini.ReadInteger(section, key, std::get<std::int32_t>(def)); },
          [&](bool TQuorvin::*field) { q.*field = ini.ReadBool(section, key, std::get<bool>(def)); },
          [&](std::vector<std::string> TQuorvin::*field) {
            // Every name is kept, empty or not; a second reading starts afresh.
            (q.*field).clear();
            for (int i = 0; i < MaxBDNames; ++i)
              (q.*field).push_back(
                  ini.ReadString(section, Numbered(key, i), std::string(std::get<std::string_view>(def))));
          },
          [&](bool TPlanRecord::*field) { q.PlanRecord.*field = ini.ReadBool(section, key, std::get<bool>(def)); },
          [&](std::uint8_t TPlanRecord::*field) {
            q.PlanRecord.*field = static_cast<std::uint8_t>(ini.ReadInteger(section, key, std::get<std::int32_t>(def)));
          },
          [&](TDateTime TPlanRecord::*field) { q.PlanRecord.*field = ReadPlanTime(ini, setting); },
      },
      setting.Field);
}

// True when the field holds the value a missing key gives.
bool AtDefault(const TSetting& setting, const TQuorvin& q) {
  const TSettingValue& def = setting.Default;
  return std::visit(TOverloaded{
                        [&](std::string TQuorvin::*field) { return q.*field == std::get<std::string_view>(def); },
                        [&](std::int32_t TQuorvin::*field) { return q.*field == std::get<std::int32_t>(def); },
                        [&](bool TQuorvin::*field) { return q.*field == std::get<bool>(def); },
                        [](auto) { return false; },
                    },
                    setting.Field);
}

// An added key at its default is left out of a file that does not have it.
bool LeftOut(const TIniFile& ini, const TSetting& setting, const TQuorvin& q) {
  return setting.Rule == TSettingRule::Added && AtDefault(setting, q) &&
         !ReadProfileValue(ini.FileName(), setting.Section, setting.Key);
}

void WriteSetting(TIniFile& ini, const TSetting& setting, const TQuorvin& q) {
  if (LeftOut(ini, setting, q)) return;
  const char* section = setting.Section;
  const char* key = setting.Key;
  const bool forgotten = setting.Rule == TSettingRule::Login && !q.RememberPass;
  std::visit(TOverloaded{
                 [&](std::string TQuorvin::*field) { ini.WriteString(section, key, forgotten ? "" : q.*field); },
                 [&](std::int32_t TQuorvin::*field) { ini.WriteInteger(section, key, q.*field); },
                 [&](bool TQuorvin::*field) { ini.WriteBool(section, key, q.*field); },
                 [&](std::vector<std::string> TQuorvin::*field) {
                   // Keys beyond the last name written keep their lines.
                   const std::vector<std::string>& names = q.*field;
                   for (std::size_t i = 0; i < names.size() && i < MaxBDNames; ++i)
                     ini.WriteString(section, Numbered(key, static_cast<int>(i)), names[i]);
                 },
                 [&](bool TPlanRecord::*field) { ini.WriteBool(section, key, q.PlanRecord.*field); },
                 [&](std::uint8_t TPlanRecord::*field) { ini.WriteInteger(section, key, q.PlanRecord.*field); },
                 [&](TDateTime TPlanRecord::*field) { ini.WriteTime(section, key, q.PlanRecord.*field); },
             },
             setting.Field);
}

bool IsPlanKey(const TSetting& setting) { return std::string_view(setting.Section) == SectionPlan; }

bool OwnWrite(const TSetting& setting) { return setting.Rule == TSettingRule::OwnWrite; }

}  // namespace

void TQuorvin::ReadIni() {
  FSettingsRead = false;
  TIniFile ini(IniPath());
  // A file that is there but cannot be read leaves the defaults in place
  // and is never written over from them.
  const bool readable = ini.Snapshot();
  for (const TSetting& setting : Settings) ReadSetting(ini, setting, *this);
  FSettingsRead = readable;
}

void TQuorvin::WriteIni() {
  TIniFile ini(IniPath());
  for (const TSetting& setting : Settings)
    if (!IsPlanKey(setting) && !OwnWrite(setting)) WriteSetting(ini, setting, *this);
}

void TQuorvin::SavePlan() {
  TIniFile ini(IniPath());
  for (const TSetting& setting : Settings)
    if (IsPlanKey(setting) && !OwnWrite(setting)) WriteSetting(ini, setting, *this);
}

void TQuorvin::SavePlanRunning(bool running) {
  PlanRunning = running;
  TIniFile ini(IniPath());
  for (const TSetting& setting : Settings) {
    const std::string_view key = setting.Key;
    if (key == "PlanRunning" || key == "DataBase") WriteSetting(ini, setting, *this);
  }
}
