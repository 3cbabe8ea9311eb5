#include "controller/quorvin.h"

#include <string>

#include "controller/job_history.h"
#include "platform/autostart_entry.h"
#include "platform/exception.h"
#include "platform/file_locations.h"
#include "platform/files.h"
#include "runner/ui_seams.h"

TQuorvin::TQuorvin(const std::string& programDir, const std::string& title) {
  BDNames.clear();
  IniName = title + ".INI";
  HistoryName = HistoryFileName(title);
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
  } catch (const std::exception& e) {
    // A destructor cannot pass the error on; show it as the standard error
    // display would.
    Prompts().ShowMessage(MessageOf(e));
  }
}

void TQuorvin::ApplyStartWithSession() {
  const std::string entry = AutostartEntryPath(ProcessXdgConfigHome());
  if (StartWithSession)
    WriteAutostartEntry(entry, ProgramFile());
  else
    RemoveAutostartEntry(entry);
}

void TQuorvin::LoadSettings() {
  ReadIni();
  if (PageSize != 1024 && PageSize != 2048 && PageSize != 4096 && PageSize != 8192) PageSize = 4096;
  RestoreSource = LastBack;
}
