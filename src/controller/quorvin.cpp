#include "controller/quorvin.h"

#include <string>

#include "platform/files.h"
#include "platform/profile_file.h"
#include "runner/ui_seams.h"

namespace {

constexpr const char* SectionMain = "Main";
constexpr const char* SectionParameters = "Parameters";
constexpr const char* SectionPlan = "Plan";
constexpr const char* SectionBDNames = "BDNames";
constexpr int MaxBDNames = 11;

std::string Numbered(const char* prefix, int n) { return prefix + std::to_string(n); }

// A plan time that the parser rejects (a locale change, a hand edit) reads as
// midnight, the same as a missing key, and reading goes on: the rest of the
// settings are read in full, and the [Plan] section is written again only
// when the user saves the plan.
TDateTime ReadPlanTime(const TIniFile& ini, const char* key) {
  try {
    return ini.ReadTime(SectionPlan, key, 0);
  } catch (const EConvertError&) {
    return 0;
  }
}

}  // namespace

TQuorvin::TQuorvin(const std::string& programDir, const std::string& title) {
  BDNames.clear();
  IniName = title + ".INI";
  DataBase.clear();
  LastBack.clear();
  BackFile.clear();
  Timer = CreatePlanTimer();
  Timer->SetEnabled(false);
  Timer->SetInterval(PlanTimerInterval);
  Timer->SetOnTimer([this] { OnPlanTimer(); });
  FiredThisMinute = false;
  Running = false;
  Busy = false;
  LastTickStamp = 0;
  LastPlanRun = 0;
  ProgramDir = IncludeTrailingPathDelimiter(programDir.empty() ? ProgramDirectory() : programDir);
  Locations = programDir.empty() ? ProcessFileLocations() : LocateFiles(ProgramDir);
  SetUpLog();
  LoadSettings();
}

TQuorvin::~TQuorvin() {
  // A job of this controller is still on the stack below: going on would
  // run it on freed memory. The main window closes only when JobRunning()
  // is false.
  if (FJobRunning) AbortJobDestroyed();
  Timer.reset();
  if (!FSettingsRead) return;
  try {
    WriteIni();
  } catch (const Exception& e) {
    // A destructor cannot pass the error on; show it as the standard error
    // display would.
    Prompts().ShowMessage(e.Message);
  } catch (const std::exception& e) {
    Prompts().ShowMessage(e.what());
  }
}

void TQuorvin::LoadSettings() {
  ReadIni();
  if (PageSize != 1024 && PageSize != 2048 && PageSize != 4096 && PageSize != 8192) PageSize = 4096;
  RestoreSource = LastBack;
}

void TQuorvin::ReadIni() {
  FSettingsRead = false;
  TIniFile ini(IniPath());
  // A file that is there but cannot be read leaves the defaults in place
  // and is never written over from them.
  const bool readable = ini.Snapshot();
  DataBase = ini.ReadString(SectionMain, "DataBase", "");
  LastBack = ini.ReadString(SectionMain, "LastBack", "");
  PageSize = ini.ReadInteger(SectionMain, "PageSize", 4096);

  Protocol = ini.ReadInteger(SectionParameters, "Protocol", -1);
  BackShutDown = ini.ReadBool(SectionParameters, "BackShutDown", true);
  bool* const backParams[] = {&BackParam1, &BackParam2, &BackParam3, &BackParam4,
                              &BackParam5, &BackParam6, &BackParam7};
  for (int i = 0; i < 7; ++i) *backParams[i] = ini.ReadBool(SectionParameters, Numbered("BackParam", i + 1), i == 1);
  bool* const restParams[] = {&RestParam1, &RestParam2, &RestParam3, &RestParam4,
                              &RestParam5, &RestParam6, &RestParam7};
  for (int i = 0; i < 7; ++i) *restParams[i] = ini.ReadBool(SectionParameters, Numbered("RestParam", i + 1), i == 4);
  AutoBackName = ini.ReadBool(SectionParameters, "AutoBackName", true);
  RememberPass = ini.ReadBool(SectionParameters, "RememberPass", false);

  TPlanRecord& plan = PlanRecord;
  bool* const days[] = {&plan.Day1Back, &plan.Day2Back, &plan.Day3Back, &plan.Day4Back,
                        &plan.Day5Back, &plan.Day6Back, &plan.Day7Back};
  for (int i = 0; i < 7; ++i) *days[i] = ini.ReadBool(SectionPlan, Numbered("Day", i + 1) + "Back", false);
  // Kept in 8 bits: only the low byte of the value read remains.
  plan.DayPeriodBack = static_cast<std::uint8_t>(ini.ReadInteger(SectionPlan, "DayPeriodBack", 0));
  plan.NightPeriodBack = static_cast<std::uint8_t>(ini.ReadInteger(SectionPlan, "NightPeriodBack", 0));
  plan.QueueBack = static_cast<std::uint8_t>(ini.ReadInteger(SectionPlan, "QueueBack", 1));
  plan.DayBeginBack = ReadPlanTime(ini, "DayBeginBack");
  plan.NightBeginBack = ReadPlanTime(ini, "NightBeginBack");
  plan.DayClockBack = ReadPlanTime(ini, "DayClockBack");
  plan.NightClockBack = ReadPlanTime(ini, "NightClockBack");

  User = ini.ReadString(SectionMain, "User", "SYSDBA");
  Pass = ini.ReadString(SectionMain, "Pass", "");

  // Start from an empty list so that a second reading does not add to it.
  BDNames.clear();
  for (int i = 0; i < MaxBDNames; ++i) BDNames.push_back(ini.ReadString(SectionBDNames, Numbered("Name", i), ""));
  FSettingsRead = readable;
}

void TQuorvin::WriteIni() {
  TIniFile ini(IniPath());
  ini.WriteString(SectionMain, "DataBase", DataBase);
  ini.WriteString(SectionMain, "LastBack", LastBack);
  ini.WriteInteger(SectionMain, "PageSize", PageSize);

  ini.WriteInteger(SectionParameters, "Protocol", Protocol);
  ini.WriteBool(SectionParameters, "BackShutDown", BackShutDown);
  const bool backParams[] = {BackParam1, BackParam2, BackParam3, BackParam4, BackParam5, BackParam6, BackParam7};
  for (int i = 0; i < 7; ++i) ini.WriteBool(SectionParameters, Numbered("BackParam", i + 1), backParams[i]);
  const bool restParams[] = {RestParam1, RestParam2, RestParam3, RestParam4, RestParam5, RestParam6, RestParam7};
  for (int i = 0; i < 7; ++i) ini.WriteBool(SectionParameters, Numbered("RestParam", i + 1), restParams[i]);
  ini.WriteBool(SectionParameters, "AutoBackName", AutoBackName);
  ini.WriteBool(SectionParameters, "RememberPass", RememberPass);

  // Without RememberPass both keys stay in the file, empty.
  ini.WriteString(SectionMain, "Pass", RememberPass ? Pass : std::string());
  ini.WriteString(SectionMain, "User", RememberPass ? User : std::string());

  // At most 11 names; keys beyond the last one written keep their lines.
  for (std::size_t i = 0; i < BDNames.size() && i < MaxBDNames; ++i)
    ini.WriteString(SectionBDNames, Numbered("Name", static_cast<int>(i)), BDNames[i]);
}

void TQuorvin::SavePlan() {
  TIniFile ini(IniPath());
  const TPlanRecord& plan = PlanRecord;
  const bool days[] = {plan.Day1Back, plan.Day2Back, plan.Day3Back, plan.Day4Back,
                       plan.Day5Back, plan.Day6Back, plan.Day7Back};
  for (int i = 0; i < 7; ++i) ini.WriteBool(SectionPlan, Numbered("Day", i + 1) + "Back", days[i]);
  ini.WriteInteger(SectionPlan, "DayPeriodBack", plan.DayPeriodBack);
  ini.WriteInteger(SectionPlan, "NightPeriodBack", plan.NightPeriodBack);
  ini.WriteInteger(SectionPlan, "QueueBack", plan.QueueBack);
  ini.WriteTime(SectionPlan, "DayBeginBack", plan.DayBeginBack);
  ini.WriteTime(SectionPlan, "NightBeginBack", plan.NightBeginBack);
  ini.WriteTime(SectionPlan, "DayClockBack", plan.DayClockBack);
  ini.WriteTime(SectionPlan, "NightClockBack", plan.NightClockBack);
}
