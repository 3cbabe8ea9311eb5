#include "controller/log/operation_log.h"

#include "platform/clock.h"
#include "platform/files.h"

namespace {

constexpr const char* LogLineEnd = "\r\n";

// Writes the run's first line, creating the file. A file that is there (a
// program started in the same minute: a hand job beside the service, a quick
// restart) keeps its lines: this run's follow them.
bool StartLogFile(const std::string& path, const std::string& firstLine) {
  return AppendToFile(path, firstLine + LogLineEnd);
}

}  // namespace

TOperationLog::TOperationLog(const std::string& dataDir) {
  const std::string& home = dataDir;
  FLogDir = home + "log";
  if (!DirectoryExists(FLogDir) && !CreateDir(FLogDir)) FLogDir = home;
  const TDateTime started = Now();
  const std::string fileName = FormatDateTime("dd_mm_yyyy_hh_nn", started) + ".log";
  const std::string firstLine = FormatDateTime("dd.mm.yyyy в hh:nn", started) + " Начало работы";
  FLogFileName = FLogDir + PathDelim + fileName;
  if (StartLogFile(FLogFileName, firstLine)) return;
  // The "log" folder exists but takes no file: try the folder that holds it
  // (beside the executable when portable).
  if (FLogDir != home) {
    FLogDir = home;
    FLogFileName = FLogDir + PathDelim + fileName;
    if (StartLogFile(FLogFileName, firstLine)) return;
  }
  // No place takes the log: this run goes on without one (every line is
  // dropped, as a line that cannot be written always is).
  FLogFileName.clear();
}

std::string TOperationLog::LogStamp() { return FormatDateTime("dd.mm.yyyy в hh:nn", Now()); }

void TOperationLog::SaveStrToLog(const std::string& line) {
  if (FLogFileName.empty()) return;
  try {
    AppendToExistingFile(FLogFileName, line + LogLineEnd);
  } catch (...) {
    // The line is lost; the next one is tried afresh.
  }
}
