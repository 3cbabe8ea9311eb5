#pragma once
// The report of a job nobody attended (a plan backup), and where such reports
// go: once the job has ended the controller hands its report to the front
// end's TNotices (the window: a tray notification, the tray icon and tool
// tip, the status bar; the service: the journal).

#include <string>
#include <vector>

#include "platform/date_time.h"

// The outcome of an unattended job, as its notices show it.
struct TJobReport {
  // What the job made: a backup, or the off-site copy of one.
  enum class TWhat { Backup, OffsiteCopy };
  TWhat What = TWhat::Backup;
  bool Succeeded = false;
  // When the job ended; 0 for a report of no job yet.
  TDateTime Ended = 0;
  std::string Database;
  std::string Target;
  // Why it failed: the first error of the job (the server's message or the
  // runner's error line); empty when it succeeded.
  std::string Reason;
  // Notices of a job that succeeded all the same (say, the database could
  // not be brought back on line).
  std::vector<std::string> Warnings;
};

// Where the reports of unattended jobs go.
class TNotices {
 public:
  virtual ~TNotices() = default;
  virtual void UnattendedJobEnded(const TJobReport& report) = 0;
};
