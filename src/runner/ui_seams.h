#pragma once
// The core reaches the user interface only through these seams, which a
// front end implements (the window: its log pane and message boxes; the
// command line: its console; tests: recording ones). A job on its own thread
// reaches them through the front end's channel (jobs/worker/).

#include <functional>
#include <optional>
#include <string>

// The on-screen log pane: cleared at the start of a job, then one line at a
// time. A job reaches it through its output (job_output.h).
class TLogPaneView {
 public:
  virtual ~TLogPaneView() = default;
  virtual void Clear() = 0;
  virtual void AppendLine(const std::string& line) = 0;
};

// Modal prompts: the main window's message boxes, scripted ones in tests,
// silent ones (job_output.h) where nobody is asked.
class TPrompts {
 public:
  virtual ~TPrompts() = default;
  // A notice with one OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  // A warning question with the buttons Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  // A confirmation with the buttons OK and Cancel; true for OK.
  virtual bool ConfirmOkCancel(const std::string& text) = 0;
  // The system's default message beep.
  virtual void Beep() = 0;
  // A notice about something the program did by itself, which needs no
  // answer: ShowMessage unless a user interface shows it otherwise.
  virtual void ShowNotice(const std::string& text) { ShowMessage(text); }
  // A password asked for with `text` (hidden as it is typed); nullopt when
  // nobody is asked or the question is cancelled.
  virtual std::optional<std::string> AskPassword(const std::string& text) {
    (void)text;
    return std::nullopt;
  }
};
