#pragma once
// Where quorvinctl speaks: the server's output to standard output, as it
// comes (unless quiet); messages to standard error, each line with the
// journal's priority prefix ("<3>" error, "<4>" warning, "<6>" information)
// so that journalctl shows failures as errors. On a terminal the prefixes
// are left out: a person reads the words.

#include <string>
#include <utility>
#include <vector>

#include "controller/messages/messages.h"
#include "runner/job_notices.h"
#include "runner/ui_seams.h"

enum class TPriority { Error = 3, Warning = 4, Info = 6 };

class TConsole {
 public:
  // Prefixes when standard error is no terminal.
  TConsole();
  // Every line of `text` with the priority's prefix.
  void Say(TPriority priority, const std::string& text) const;
  void Error(const std::string& text) const { Say(TPriority::Error, text); }
  void Warning(const std::string& text) const { Say(TPriority::Warning, text); }
  void Info(const std::string& text) const { Say(TPriority::Info, text); }
  // Whether standard error is a terminal (a person reads it).
  bool Terminal() const { return !FPrefixes; }
  // One line rewritten in place on the terminal (a job's progress), left
  // unfinished; the next message or progress replaces it. Empty: cleared.
  void Progress(const std::string& text) const;

 private:
  bool FPrefixes;
  // A progress line stands unfinished on the terminal.
  mutable bool FLineOpen = false;
};

// The log pane of the jobs: standard output, line by line (--verbose), or
// nothing; the first error line of the job is kept for its outcome.
class TConsolePane : public TLogPaneView {
 public:
  explicit TConsolePane(bool quiet) : FQuiet(quiet) {}
  void Clear() override {}
  void AppendLine(const std::string& line) override;
  // The first error line ("ERROR: " taken off), for the outcome.
  const std::string& FirstError() const { return FFirstError; }

 private:
  bool FQuiet;
  std::string FFirstError;
};

// The boxes of a job started on the command line: notices to standard
// error; questions are answered as the command line asked (the restore's
// "all users disconnected?" is the command itself, an administrator without
// a password is tried and refused by the server if it must).
class TConsolePrompts : public TPrompts {
 public:
  explicit TConsolePrompts(const TConsole& console) : FConsole(console) {}
  // A job's boxes (its failure's) are held while `hold` is on, for its
  // outcome to say its reason once.
  void Hold(bool hold) { FHold = hold; }
  std::vector<std::string> TakeHeld() { return std::exchange(FHeld, {}); }
  // In English: the program's known reasons are said so (a box the window
  // shows word for word stays as it is).
  void ShowMessage(const std::string& text) override {
    if (FHold)
      FHeld.push_back(ShownReason(text, TLanguage::English));
    else
      FConsole.Error(ShownReason(text, TLanguage::English));
  }
  bool AskYesNo(const std::string& text) override;
  bool ConfirmOkCancel(const std::string&) override { return true; }
  void Beep() override {}
  void ShowNotice(const std::string& text) override { FConsole.Warning(text); }

 private:
  const TConsole& FConsole;
  bool FHold = false;
  std::vector<std::string> FHeld;
};

// The plan's reports, to the journal.
class TConsoleNotices : public TNotices {
 public:
  explicit TConsoleNotices(const TConsole& console) : FConsole(console) {}
  void UnattendedJobEnded(const TJobReport& report) override;

 private:
  const TConsole& FConsole;
};
