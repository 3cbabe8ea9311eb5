// The settings file: one table of every key with its field and default, which
// reading (ReadIni) and both writers (WriteIni, SavePlan) walk in its order.
// The keys an entry of the plan keeps are marked: entry 1 keeps them where
// they always were, every further entry all of them in a section of its own.

#include "controller/settings/settings_file.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "platform/files.h"
#include "platform/profile_file.h"

namespace {

// The field a key is read into. Its type decides how the key is read and
// written: text, integer, boolean (any nonzero integer), an integer kept in
// 8 bits (only the low byte of the value read remains), a time of day, or the
// list of recent databases (numbered keys Name0, Name1 …). Options of a
// database and the weekly plan are fields of the program's settings and of
// every entry alike; the rest the program's only.
// A level's plan of an incremental entry (its index in TLevelPlans), kept
// as one text.
struct TLevelPlanKey {
  int Index;
};
using TSettingField =
    std::variant<std::string TDatabaseOptions::*, std::int32_t TDatabaseOptions::*, bool TDatabaseOptions::*,
                 std::string TSettings::*, std::int32_t TSettings::*, bool TSettings::*,
                 std::vector<std::string> TSettings::*, bool TPlanRecord::*, std::uint8_t TPlanRecord::*,
                 TDateTime TPlanRecord::*, TLevelPlanKey, std::string TOffsiteSettings::*, bool TOffsiteSettings::*>;
// The value a missing key gives, in the type its field reads.
using TSettingValue = std::variant<std::string_view, std::int32_t, bool, TDateTime>;

enum class TSettingRule {
  Plain,
  // The program's: written from its field only while RememberPass is on
  // (otherwise the key stays in the file, empty). An entry's: written only
  // when the entry has a login of its own, which its user key says.
  Login,
  // Written only when the state it keeps changes (SavePlanRunning,
  // SaveHistorySeen), never by WriteIni or SavePlan.
  OwnWrite,
  // A key later versions added, which older files lack: written only once
  // its value differs from the default or the file has it, so a file of an
  // older version keeps its lines byte for byte while the addition is unused.
  Added,
  // A key added after the plan had entries of its own: as Added, and left
  // out of an entry's section too while at its default, so the sections
  // written before it read and write back byte for byte.
  AddedLater,
};

// Whether a plan entry keeps the key: entry 1 in the key's own section,
// the others in theirs.
enum class TEntryKey { No, Yes };

struct TSetting {
  const char* Section;
  const char* Key;
  TSettingField Field;
  TSettingValue Default;
  TSettingRule Rule = TSettingRule::Plain;
  TEntryKey Entry = TEntryKey::No;
};

constexpr const char* SectionPlan = "Plan";
// The list of recent databases holds at most this many names.
constexpr int MaxBDNames = 11;
// Sections of further entries are looked for up to [Plan999].
constexpr int MaxPlanEntries = 999;

constexpr TSettingRule Plain = TSettingRule::Plain;
constexpr TSettingRule Added = TSettingRule::Added;
constexpr TSettingRule AddedLater = TSettingRule::AddedLater;
constexpr TEntryKey Entry = TEntryKey::Yes;

// Every key, in the order it is read and written. WriteIni writes every
// section but [Plan]; SavePlan writes [Plan] alone. (Reading takes all values
// from one snapshot of the file, so the order matters for the writes: keys
// the file lacks are added in it.)
const TSetting Settings[] = {
    {"Main", "DataBase", &TSettings::DataBase, "", Plain, Entry},
    {"Main", "LastBack", &TSettings::LastBack, ""},
    {"Main", "PageSize", &TSettings::PageSize, 4096},
    {"Parameters", "Protocol", &TSettings::Protocol, -1, Plain, Entry},
    {"Parameters", "BackShutDown", &TSettings::BackShutDown, true, Plain, Entry},
    {"Parameters", "BackParam1", &TSettings::BackParam1, false, Plain, Entry},
    {"Parameters", "BackParam2", &TSettings::BackParam2, true, Plain, Entry},
    {"Parameters", "BackParam3", &TSettings::BackParam3, false, Plain, Entry},
    {"Parameters", "BackParam4", &TSettings::BackParam4, false, Plain, Entry},
    {"Parameters", "BackParam5", &TSettings::BackParam5, false, Plain, Entry},
    {"Parameters", "BackParam6", &TSettings::BackParam6, false, Plain, Entry},
    {"Parameters", "BackParam7", &TSettings::BackParam7, false, Plain, Entry},
    {"Parameters", "RestParam1", &TSettings::RestParam1, false},
    {"Parameters", "RestParam2", &TSettings::RestParam2, false},
    {"Parameters", "RestParam3", &TSettings::RestParam3, false},
    {"Parameters", "RestParam4", &TSettings::RestParam4, false},
    {"Parameters", "RestParam5", &TSettings::RestParam5, true},
    {"Parameters", "RestParam6", &TSettings::RestParam6, false},
    {"Parameters", "RestParam7", &TSettings::RestParam7, false},
    {"Parameters", "AutoBackName", &TSettings::AutoBackName, true, Plain, Entry},
    {"Parameters", "RememberPass", &TSettings::RememberPass, false},
    {"Parameters", "VerifyBackup", &TSettings::VerifyBackup, false, Added, Entry},
    {"Parameters", "LocalCopyDir", &TSettings::LocalCopyDir, "", Added, Entry},
    {"Parameters", "LocalCopyOnly", &TSettings::LocalCopyOnly, false, Added, Entry},
    {SectionPlan, "Day1Back", &TPlanRecord::Day1Back, false, Plain, Entry},
    {SectionPlan, "Day2Back", &TPlanRecord::Day2Back, false, Plain, Entry},
    {SectionPlan, "Day3Back", &TPlanRecord::Day3Back, false, Plain, Entry},
    {SectionPlan, "Day4Back", &TPlanRecord::Day4Back, false, Plain, Entry},
    {SectionPlan, "Day5Back", &TPlanRecord::Day5Back, false, Plain, Entry},
    {SectionPlan, "Day6Back", &TPlanRecord::Day6Back, false, Plain, Entry},
    {SectionPlan, "Day7Back", &TPlanRecord::Day7Back, false, Plain, Entry},
    {SectionPlan, "DayPeriodBack", &TPlanRecord::DayPeriodBack, 0, Plain, Entry},
    {SectionPlan, "NightPeriodBack", &TPlanRecord::NightPeriodBack, 0, Plain, Entry},
    {SectionPlan, "QueueBack", &TPlanRecord::QueueBack, 1, Plain, Entry},
    {SectionPlan, "DayBeginBack", &TPlanRecord::DayBeginBack, TDateTime{0}, Plain, Entry},
    {SectionPlan, "NightBeginBack", &TPlanRecord::NightBeginBack, TDateTime{0}, Plain, Entry},
    {SectionPlan, "DayClockBack", &TPlanRecord::DayClockBack, TDateTime{0}, Plain, Entry},
    {SectionPlan, "NightClockBack", &TPlanRecord::NightClockBack, TDateTime{0}, Plain, Entry},
    {SectionPlan, "KeepLastBackups", &TSettings::KeepLastBackups, 0, Added, Entry},
    {SectionPlan, "KeepBackupDays", &TSettings::KeepBackupDays, 0, Added, Entry},
    {SectionPlan, "BackupKind", &TSettings::BackupKind, 0, AddedLater, Entry},
    {SectionPlan, "Level1Plan", TLevelPlanKey{0}, "", AddedLater, Entry},
    {SectionPlan, "Level2Plan", TLevelPlanKey{1}, "", AddedLater, Entry},
    {SectionPlan, "OffsiteUrl", &TOffsiteSettings::Url, "", AddedLater, Entry},
    {SectionPlan, "OffsiteEndpoint", &TOffsiteSettings::Endpoint, "", AddedLater, Entry},
    {SectionPlan, "OffsiteRegion", &TOffsiteSettings::Region, "", AddedLater, Entry},
    {SectionPlan, "OffsitePathStyle", &TOffsiteSettings::PathStyle, false, AddedLater, Entry},
    {SectionPlan, "OffsiteCredentials", &TOffsiteSettings::Credentials, "", AddedLater, Entry},
    {SectionPlan, "OffsiteEncryptKey", &TOffsiteSettings::EncryptKey, "", AddedLater, Entry},
    {SectionPlan, "StartWithSession", &TSettings::StartWithSession, false, Added},
    {SectionPlan, "ResumePlan", &TSettings::ResumePlan, false, Added},
    {SectionPlan, "DataBase", &TSettings::PlanDataBase, "", Added},
    {SectionPlan, "PlanRunning", &TSettings::PlanRunning, false, TSettingRule::OwnWrite},
    {"Main", "Pass", &TSettings::Pass, "", TSettingRule::Login, Entry},
    {"Main", "User", &TSettings::User, "SYSDBA", TSettingRule::Login, Entry},
    {"BDNames", "Name", &TSettings::BDNames, ""},
    {"Hooks", "OnFailure", &TSettings::OnFailure, "", Added},
    {"Hooks", "OnSuccess", &TSettings::OnSuccess, "", Added},
    {"Hooks", "TimeLimit", &TSettings::TimeLimit, 60, Added},
    {"History", "SeenUntil", &TSettings::HistorySeenUntil, "", TSettingRule::OwnWrite},
};

template <typename... TVisitors>
struct TOverloaded : TVisitors... {
  using TVisitors::operator()...;
};

std::string Numbered(const char* prefix, int n) { return prefix + std::to_string(n); }

std::string EntrySection(std::size_t index) { return SectionPlan + std::to_string(index + 2); }

// What a key is read into and written from: the program's settings, or one
// further entry of the plan with the section it keeps its keys in.
struct TOwner {
  TDatabaseOptions& Options;
  TPlanRecord& Plan;
  TLevelPlans& Levels;
  TSettings* Program;     // null for an entry
  TPlanEntry* PlanEntry;  // null for the program
  std::string EntrySection;

  const char* SectionOf(const TSetting& setting) const { return Program ? setting.Section : EntrySection.c_str(); }
  bool Keeps(const TSetting& setting) const { return Program || setting.Entry == TEntryKey::Yes; }
};

TOwner OwnerOf(TSettings& settings) {
  return {settings, settings.PlanRecord, settings.LevelPlans, &settings, nullptr, {}};
}
TOwner OwnerOf(TPlanEntry& entry, std::size_t index) {
  return {entry, entry.PlanRecord, entry.LevelPlans, nullptr, &entry, EntrySection(index)};
}
// The writers only read their owner.
TOwner WrittenFrom(const TSettings& settings) { return OwnerOf(const_cast<TSettings&>(settings)); }
TOwner WrittenFrom(const TPlanEntry& entry, std::size_t index) {
  return OwnerOf(const_cast<TPlanEntry&>(entry), index);
}

// A plan time that the parser rejects (a locale change, a hand edit) reads as
// the default, the same as a missing key, and reading goes on: the rest of
// the settings are read in full, and the [Plan] section is written again only
// when the user saves the plan.
TDateTime ReadPlanTime(const TIniFile& ini, const char* section, const TSetting& setting) {
  try {
    return ini.ReadTime(section, setting.Key, std::get<TDateTime>(setting.Default));
  } catch (const EConvertError&) {
    return std::get<TDateTime>(setting.Default);
  }
}

void ReadSetting(const TIniFile& ini, const TSetting& setting, TOwner& o) {
  if (!o.Keeps(setting)) return;
  const char* section = o.SectionOf(setting);
  const char* key = setting.Key;
  const TSettingValue& def = setting.Default;
  const auto text = [&] { return ini.ReadString(section, key, std::string(std::get<std::string_view>(def))); };
  std::visit(
      TOverloaded{
          [&](std::string TDatabaseOptions::*field) { o.Options.*field = text(); },
          [&](std::int32_t TDatabaseOptions::*field) {
            o.Options.*field = ini.ReadInteger(section, key, std::get<std::int32_t>(def));
          },
          [&](bool TDatabaseOptions::*field) { o.Options.*field = ini.ReadBool(section, key, std::get<bool>(def)); },
          [&](std::string TSettings::*field) { o.Program->*field = text(); },
          [&](std::int32_t TSettings::*field) {
            o.Program->*field = ini.ReadInteger(section, key, std::get<std::int32_t>(def));
          },
          [&](bool TSettings::*field) { o.Program->*field = ini.ReadBool(section, key, std::get<bool>(def)); },
          [&](std::vector<std::string> TSettings::*field) {
            // Every name is kept, empty or not; a second reading starts afresh.
            auto& names = o.Program->*field;
            names.clear();
            for (int i = 0; i < MaxBDNames; ++i)
              names.push_back(ini.ReadString(section, Numbered(key, i), std::string(std::get<std::string_view>(def))));
          },
          [&](bool TPlanRecord::*field) { o.Plan.*field = ini.ReadBool(section, key, std::get<bool>(def)); },
          [&](std::uint8_t TPlanRecord::*field) {
            o.Plan.*field = static_cast<std::uint8_t>(ini.ReadInteger(section, key, std::get<std::int32_t>(def)));
          },
          [&](TDateTime TPlanRecord::*field) { o.Plan.*field = ReadPlanTime(ini, section, setting); },
          [&](TLevelPlanKey field) { o.Levels.Level[field.Index] = ParseLevelPlan(text()); },
          [&](std::string TOffsiteSettings::*field) { o.Options.Offsite.*field = text(); },
          [&](bool TOffsiteSettings::*field) {
            o.Options.Offsite.*field = ini.ReadBool(section, key, std::get<bool>(def));
          },
      },
      setting.Field);
  // An entry's login is its own when the file holds its user name.
  if (o.PlanEntry && setting.Rule == TSettingRule::Login && ini.HasKey(section, key)) o.PlanEntry->OwnLogin = true;
}

// True when the field holds the value a missing key gives.
bool AtDefault(const TSetting& setting, const TOwner& o) {
  const TSettingValue& def = setting.Default;
  return std::visit(
      TOverloaded{
          [&](std::string TDatabaseOptions::*f) { return o.Options.*f == std::get<std::string_view>(def); },
          [&](std::int32_t TDatabaseOptions::*f) { return o.Options.*f == std::get<std::int32_t>(def); },
          [&](bool TDatabaseOptions::*f) { return o.Options.*f == std::get<bool>(def); },
          [&](std::string TSettings::*f) { return o.Program->*f == std::get<std::string_view>(def); },
          [&](std::int32_t TSettings::*f) { return o.Program->*f == std::get<std::int32_t>(def); },
          [&](bool TSettings::*f) { return o.Program->*f == std::get<bool>(def); },
          [&](TLevelPlanKey f) { return !PlanOnAnyDay(o.Levels.Level[f.Index]); },
          [&](std::string TOffsiteSettings::*f) { return o.Options.Offsite.*f == std::get<std::string_view>(def); },
          [&](bool TOffsiteSettings::*f) { return o.Options.Offsite.*f == std::get<bool>(def); },
          [](auto) { return false; },
      },
      setting.Field);
}

// An added key of the program's at its default is left out of a file that
// does not have it; an entry without a login of its own keeps none.
bool LeftOut(const TIniFile& ini, const TSetting& setting, const TOwner& o) {
  // An entry's section is written afresh: it never has the key before.
  if (o.PlanEntry && setting.Rule == TSettingRule::AddedLater) return AtDefault(setting, o);
  if (setting.Rule == TSettingRule::AddedLater)
    return AtDefault(setting, o) && !ReadProfileValue(ini.FileName(), setting.Section, setting.Key);
  if (o.PlanEntry) return setting.Rule == TSettingRule::Login && !o.PlanEntry->OwnLogin;
  return setting.Rule == TSettingRule::Added && AtDefault(setting, o) &&
         !ReadProfileValue(ini.FileName(), setting.Section, setting.Key);
}

void WriteSetting(TIniFile& ini, const TSetting& setting, const TOwner& o) {
  if (!o.Keeps(setting) || LeftOut(ini, setting, o)) return;
  const std::string section = o.SectionOf(setting);
  const char* key = setting.Key;
  const bool forgotten = o.Program && setting.Rule == TSettingRule::Login && !o.Program->RememberPass;
  std::visit(
      TOverloaded{
          [&](std::string TDatabaseOptions::*f) { ini.WriteString(section, key, forgotten ? "" : o.Options.*f); },
          [&](std::int32_t TDatabaseOptions::*f) { ini.WriteInteger(section, key, o.Options.*f); },
          [&](bool TDatabaseOptions::*f) { ini.WriteBool(section, key, o.Options.*f); },
          [&](std::string TSettings::*f) { ini.WriteString(section, key, o.Program->*f); },
          [&](std::int32_t TSettings::*f) { ini.WriteInteger(section, key, o.Program->*f); },
          [&](bool TSettings::*f) { ini.WriteBool(section, key, o.Program->*f); },
          [&](std::vector<std::string> TSettings::*f) {
            // Keys beyond the last name written keep their lines.
            const std::vector<std::string>& names = o.Program->*f;
            for (std::size_t i = 0; i < names.size() && i < MaxBDNames; ++i)
              ini.WriteString(section, Numbered(key, static_cast<int>(i)), names[i]);
          },
          [&](bool TPlanRecord::*f) { ini.WriteBool(section, key, o.Plan.*f); },
          [&](std::uint8_t TPlanRecord::*f) { ini.WriteInteger(section, key, o.Plan.*f); },
          [&](TDateTime TPlanRecord::*f) { ini.WriteTime(section, key, o.Plan.*f); },
          [&](TLevelPlanKey f) { ini.WriteString(section, key, LevelPlanText(o.Levels.Level[f.Index])); },
          [&](std::string TOffsiteSettings::*f) { ini.WriteString(section, key, o.Options.Offsite.*f); },
          [&](bool TOffsiteSettings::*f) { ini.WriteBool(section, key, o.Options.Offsite.*f); },
      },
      setting.Field);
}

// True when the field of `setting` holds different values in `a` and `b`.
bool Differs(const TSetting& setting, const TOwner& a, const TOwner& b) {
  return std::visit(
      TOverloaded{
          [&](std::string TDatabaseOptions::*f) { return a.Options.*f != b.Options.*f; },
          [&](std::int32_t TDatabaseOptions::*f) { return a.Options.*f != b.Options.*f; },
          [&](bool TDatabaseOptions::*f) { return a.Options.*f != b.Options.*f; },
          [&](std::string TSettings::*f) { return a.Program->*f != b.Program->*f; },
          [&](std::int32_t TSettings::*f) { return a.Program->*f != b.Program->*f; },
          [&](bool TSettings::*f) { return a.Program->*f != b.Program->*f; },
          [&](std::vector<std::string> TSettings::*f) { return a.Program->*f != b.Program->*f; },
          [&](bool TPlanRecord::*f) { return a.Plan.*f != b.Plan.*f; },
          [&](std::uint8_t TPlanRecord::*f) { return a.Plan.*f != b.Plan.*f; },
          [&](TDateTime TPlanRecord::*f) { return FormatLongTime(a.Plan.*f) != FormatLongTime(b.Plan.*f); },
          [&](TLevelPlanKey f) {
            return LevelPlanText(a.Levels.Level[f.Index]) != LevelPlanText(b.Levels.Level[f.Index]);
          },
          [&](std::string TOffsiteSettings::*f) { return a.Options.Offsite.*f != b.Options.Offsite.*f; },
          [&](bool TOffsiteSettings::*f) { return a.Options.Offsite.*f != b.Options.Offsite.*f; },
      },
      setting.Field);
}

bool IsLogin(const TSetting& setting) { return setting.Rule == TSettingRule::Login; }

// One key of `after` when it changed from `before`: a key added later that
// goes back to its default where the file never had it stays out; a login
// follows whether it is kept at all (the program's RememberPass, an entry's
// own login).
void WriteChanged(TIniFile& ini, const TSetting& setting, const TOwner& before, const TOwner& after) {
  if (!after.Keeps(setting) || setting.Rule == TSettingRule::OwnWrite) return;
  const std::string section = after.SectionOf(setting);
  const bool loginKept = after.Program ? after.Program->RememberPass : after.PlanEntry->OwnLogin;
  const bool loginWasKept = before.Program ? before.Program->RememberPass : before.PlanEntry->OwnLogin;
  if (IsLogin(setting) && loginKept != loginWasKept) {
    if (after.PlanEntry && !loginKept) return ini.EraseKey(section, setting.Key);
    return WriteSetting(ini, setting, after);
  }
  if (!Differs(setting, before, after)) return;
  const bool added = setting.Rule == TSettingRule::Added || setting.Rule == TSettingRule::AddedLater;
  if (added && AtDefault(setting, after) && !ini.HasKey(section, setting.Key)) return;
  if (after.PlanEntry && IsLogin(setting) && !loginKept) return;
  WriteSetting(ini, setting, after);
}

bool IsPlanKey(const TSetting& setting) { return std::string_view(setting.Section) == SectionPlan; }

bool OwnWrite(const TSetting& setting) { return setting.Rule == TSettingRule::OwnWrite; }

// The further entries the file holds: sections [Plan2], [Plan3], … up to the
// first that names no database.
void ReadMoreEntries(const TIniFile& ini, TSettings& settings) {
  settings.MorePlanEntries.clear();
  for (std::size_t i = 0; i + 2 <= MaxPlanEntries; ++i) {
    if (!ini.HasKey(EntrySection(i), "DataBase")) break;
    TPlanEntry entry;
    TOwner owner = OwnerOf(entry, i);
    for (const TSetting& setting : Settings) ReadSetting(ini, setting, owner);
    entry.Id = ++settings.LastPlanEntryId;
    settings.MorePlanEntries.push_back(std::move(entry));
  }
}

}  // namespace

void TSettingsFile::ReadIni(TSettings& settings) {
  FRead = false;
  // A first start: no settings file yet (a file that is there keeps what it
  // says, a protocol of −1 or none included).
  const bool firstStart = !IdentityOf(FPath);
  TIniFile ini(FPath);
  // A file that is there but cannot be read leaves the defaults in place
  // and is never written over from them. One that is no settings file is
  // read as leniently as the window always has; Fault says what it is.
  const bool readable = ini.Snapshot();
  TOwner owner = OwnerOf(settings);
  for (const TSetting& setting : Settings) ReadSetting(ini, setting, owner);
  ReadMoreEntries(ini, settings);
  const std::int32_t size = settings.PageSize;
  if (size != 1024 && size != 2048 && size != 4096 && size != 8192) settings.PageSize = 4096;
  // A new user's first job works without a visit to "Параметры": the server
  // of the database path, over TCP.
  if (firstStart) settings.Protocol = FirstStartProtocol;
  FRead = readable;
  FFault.clear();
  if (ini.State() == TProfileState::Unreadable) FFault = "cannot read the settings file " + FPath + ": " + ini.Fault();
  if (ini.State() == TProfileState::NotAProfile) FFault = FPath + " is not a settings file: " + ini.Fault();
}

void TSettingsFile::WriteIni(const TSettings& settings) {
  TIniFile ini(FPath);
  const TOwner owner = WrittenFrom(settings);
  for (const TSetting& setting : Settings)
    if (!IsPlanKey(setting) && !OwnWrite(setting)) WriteSetting(ini, setting, owner);
}

void TSettingsFile::SavePlan(const TSettings& settings) {
  TIniFile ini(FPath);
  const TOwner program = WrittenFrom(settings);
  for (const TSetting& setting : Settings)
    if (IsPlanKey(setting) && !OwnWrite(setting)) WriteSetting(ini, setting, program);
  // Each entry's section is written afresh: an entry takes no key of one
  // that stood there before (a login of its own), and entries removed from
  // the plan take their sections with them.
  for (std::size_t i = 0; i + 2 <= MaxPlanEntries && ini.HasKey(EntrySection(i), "DataBase"); ++i)
    ini.EraseSection(EntrySection(i));
  std::size_t i = 0;
  for (const TPlanEntry& entry : settings.MorePlanEntries) {
    const TOwner owner = WrittenFrom(entry, i++);
    for (const TSetting& setting : Settings) WriteSetting(ini, setting, owner);
  }
}

void TSettingsFile::SaveChanges(const TSettings& before, const TSettings& after) {
  // Into a new file the protocol goes in any case: left out, it would read
  // back as its key's default (none chosen), not as a first start's.
  const bool newFile = !IdentityOf(FPath);
  TIniFile ini(FPath);
  ini.Snapshot();
  for (const TSetting& setting : Settings) {
    if (newFile && std::string_view(setting.Key) == "Protocol" && !IsPlanKey(setting))
      WriteSetting(ini, setting, WrittenFrom(after));
    else
      WriteChanged(ini, setting, WrittenFrom(before), WrittenFrom(after));
  }
  const auto indexOf = [&](std::uint64_t id) -> std::optional<std::size_t> {
    for (std::size_t i = 0; i < before.MorePlanEntries.size(); ++i)
      if (before.MorePlanEntries[i].Id == id) return i;
    return std::nullopt;
  };
  std::vector<bool> kept(before.MorePlanEntries.size(), false);
  for (const TPlanEntry& entry : after.MorePlanEntries)
    if (const auto was = indexOf(entry.Id)) kept[*was] = true;
  for (std::size_t i = before.MorePlanEntries.size(); i-- > 0;)
    if (!kept[i]) ini.EraseSection(EntrySection(i));
  for (std::size_t i = 0; i < after.MorePlanEntries.size(); ++i) {
    const TPlanEntry& entry = after.MorePlanEntries[i];
    const TOwner owner = WrittenFrom(entry, i);
    const auto was = indexOf(entry.Id);
    if (!was || *was < i) {
      // A new entry: a section of its own, written afresh.
      ini.EraseSection(EntrySection(i));
      for (const TSetting& setting : Settings) WriteSetting(ini, setting, owner);
      continue;
    }
    if (*was != i) ini.RenameSection(EntrySection(*was), EntrySection(i));
    const TOwner old = WrittenFrom(before.MorePlanEntries[*was], i);
    for (const TSetting& setting : Settings) WriteChanged(ini, setting, old, owner);
  }
}

void TSettingsFile::SavePlanRunning(const TSettings& settings) {
  TIniFile ini(FPath);
  const TOwner owner = WrittenFrom(settings);
  for (const TSetting& setting : Settings) {
    const std::string_view key = setting.Key;
    const bool planRunning = key == "PlanRunning";
    const bool database = key == "DataBase" && !IsPlanKey(setting);
    if (planRunning || database) WriteSetting(ini, setting, owner);
  }
}

void TSettingsFile::SaveHistorySeen(const TSettings& settings) {
  TIniFile ini(FPath);
  for (const TSetting& setting : Settings)
    if (std::string_view(setting.Section) == "History") WriteSetting(ini, setting, WrittenFrom(settings));
}
