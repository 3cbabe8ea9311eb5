// The run's operation log: one file per program run, one line per call,
// opened and closed for every line; its own failures are never reported.

#include "controller/quorvin.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace {

constexpr const char* LogLineEnd = "\r\n";

// Creates (or empties) the file and writes its first line.
bool StartLogFile(const std::string& path, const std::string& firstLine) {
  return CreateTextFile(path, firstLine + LogLineEnd);
}

}  // namespace

void TQuorvin::SetUpLog() {
  const std::string& home = Locations.DataDir;
  LogDir = home + "log";
  if (!DirectoryExists(LogDir) && !CreateDir(LogDir)) LogDir = home;
  const TDateTime started = Now();
  const std::string fileName = FormatDateTime("dd_mm_yyyy_hh_nn", started) + ".log";
  const std::string firstLine = FormatDateTime("dd.mm.yyyy в hh:nn", started) + " Начало работы";
  LogFileName = LogDir + PathDelim + fileName;
  if (StartLogFile(LogFileName, firstLine)) return;
  // The "log" folder exists but takes no file: try the folder that holds it
  // (beside the executable when portable).
  if (LogDir != home) {
    LogDir = home;
    LogFileName = LogDir + PathDelim + fileName;
    if (StartLogFile(LogFileName, firstLine)) return;
  }
  // No place takes the log: this run goes on without one (every line is
  // dropped, as a line that cannot be written always is), fully built and
  // with its settings read.
  LogFileName.clear();
}

std::string TQuorvin::LogStamp() const { return FormatDateTime("dd.mm.yyyy в hh:nn", Now()); }

void TQuorvin::SaveStrToLog(const std::string& line) {
  if (LogFileName.empty()) return;
  try {
    // Appending never creates the file: a log deleted by hand stays deleted.
    AppendToExistingFile(LogFileName, line + LogLineEnd);
  } catch (...) {
    // The line is lost; the next one is tried afresh.
  }
}

void TQuorvin::RemoveJobLog(const std::string& name) { DeleteIfExists(Locations.DataDir + name); }

void TQuorvin::Execute() {
  SaveStrToLog(LogStamp() + " Сервис запущен.");
  Timer->SetEnabled(true);
  Running = true;
}

void TQuorvin::Stop() {
  SaveStrToLog(LogStamp() + " Сервис остановлен.");
  Timer->SetEnabled(false);
  Running = false;
}
