#pragma once
// How the notices of a job reach the user.
//
// A job someone started from the window is attended: its notices are
// message boxes (through Prompts()), as they always were, and its questions
// are asked. A job nobody started by hand (a plan backup while the program
// waits in the notification area) is unattended: a box would wait for a click
// that may come hours later, and the plan with it. Its notices are collected
// instead, its questions get their going-on answer without being asked, and
// once it has ended the controller hands a report to the installed TNotices
// (the program: a tray notification, the tray icon and tool tip, the status
// bar).

#include <string>
#include <vector>

#include "platform/date_time.h"

// The outcome of an unattended job, as its notices show it.
struct TJobReport {
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

// Where the reports of unattended jobs go. The default drops them.
class TNotices {
 public:
  virtual ~TNotices() = default;
  virtual void UnattendedJobEnded(const TJobReport& report) = 0;
};

TNotices& Notices();
// Installs `notices` (not owned); nullptr puts the default back.
void SetNotices(TNotices* notices);

// A notice of a job: a message box while the job is attended, collected for
// the report while it is not.
void ShowJobMessage(const std::string& text);
// A warning question before a job (Yes/No): asked while attended; otherwise
// answered `unattendedAnswer` without asking.
bool AskJobYesNo(const std::string& text, bool unattendedAnswer);
// Every line the pane gets passes here: the error lines ("ERROR: …") of an
// unattended job are collected for its report.
void NoteJobPaneLine(const std::string& line);

// Marks the job run inside its lifetime as unattended and collects its
// notices and error lines, in the order they came. Scopes nest; the inner
// one collects.
class TUnattendedJob {
 public:
  TUnattendedJob();
  ~TUnattendedJob();
  TUnattendedJob(const TUnattendedJob&) = delete;
  TUnattendedJob& operator=(const TUnattendedJob&) = delete;

  static bool Active();

  // Notices and error lines, each without its "ERROR: " or "Error: " lead.
  const std::vector<std::string>& Collected() const { return FCollected; }
  // The first of them: what went wrong first says most (later ones are its
  // consequences, down to "Errors were encountered during backup"). Empty
  // when nothing was collected.
  std::string Reason() const;

 private:
  friend void ShowJobMessage(const std::string& text);
  friend void NoteJobPaneLine(const std::string& line);
  void Collect(const std::string& text);

  TUnattendedJob* FOuter;
  std::vector<std::string> FCollected;
};
