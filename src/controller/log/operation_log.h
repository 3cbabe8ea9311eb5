#pragma once
// The run's operation log: one file per minute of program starts in the
// "log" folder, one line per call, opened and closed for every line (other
// programs can read it between lines); its own failures are never reported.
// Programs started in the same minute share the file: each line is added in
// one write at its end, so nothing one of them wrote is lost or cut into.

#include <string>

class TOperationLog {
 public:
  // Sets up the folder and the file (`dataDir` + "log", or `dataDir` itself
  // when that folder cannot be made or takes no file) and writes the first
  // line. When no place takes the file the run goes on without a log.
  explicit TOperationLog(const std::string& dataDir);
  // A log that keeps nothing (a front end that only reads).
  TOperationLog() = default;

  const std::string& LogDir() const { return FLogDir; }
  // Empty when no place took the file.
  const std::string& LogFileName() const { return FLogFileName; }

  // The current moment as "dd.mm.yyyy в hh:nn".
  static std::string LogStamp();
  // Appends one line (CR LF). Appending never creates the file: a log
  // deleted by hand stays deleted. A line that cannot be written is lost.
  void SaveStrToLog(const std::string& line);
  // LogStamp, then `text` (which begins with its own space).
  void Stamped(const std::string& text) { SaveStrToLog(LogStamp() + text); }

 private:
  std::string FLogDir;
  std::string FLogFileName;
};
