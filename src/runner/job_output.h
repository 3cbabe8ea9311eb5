#pragma once
// Where one job's account and notices go: the pane of whoever watches it (a
// window's log pane, standard output, or nowhere), the boxes of a job
// someone attends, and the notices of a job nobody attends.
//
// A job someone started by hand is attended: its notices are message boxes
// and its questions are asked. A job nobody started by hand (a plan backup)
// is unattended: a box would wait for a click that may come hours later, and
// the plan with it, so its questions get their going-on answer without being
// asked. Either way its notices and error lines are collected: the first of
// them is the job's reason wherever it is told (history, operation log,
// report).
//
// Every part of a job is handed the job's output; nothing reaches a pane or a
// box any other way.

#include <functional>
#include <string>
#include <vector>

#include "runner/ui_seams.h"

class TJobStop;

enum class TAttendance { Attended, Unattended };

class TJobOutput {
 public:
  // `pane` and `prompts` are not owned and may be null: no pane, no boxes.
  explicit TJobOutput(TLogPaneView* pane = nullptr, TPrompts* prompts = nullptr,
                      TAttendance attendance = TAttendance::Attended);
  TJobOutput(const TJobOutput&) = delete;
  TJobOutput& operator=(const TJobOutput&) = delete;

  // One line of the pane (an empty text as a single blank); the error lines
  // ("ERROR: …") are collected. A pane that fails to
  // show a line does not stop the job.
  void AddPaneLine(const std::string& line);
  void ClearPane();
  // A notice of the job: a message box while attended, and collected.
  void ShowJobMessage(const std::string& text);
  // A warning question before a job (Yes/No): asked while attended;
  // otherwise answered `unattendedAnswer` without asking.
  bool AskJobYesNo(const std::string& text, bool unattendedAnswer);
  // The boxes of the job's front end (silent ones when it has none).
  TPrompts& Prompts() const;
  bool Attended() const { return FAttendance == TAttendance::Attended; }

  // The front end's request to stop the job comes the same way (not owned;
  // null: the job cannot be stopped). Stoppable jobs bound every wait on
  // the server, so the request is seen within a second or so.
  void SetStop(const TJobStop* stop) { FStop = stop; }
  bool Stoppable() const { return FStop != nullptr; }
  bool StopRequested() const;
  // Raises EJobStopped once the stop was requested.
  void ThrowIfStopped() const;

  // The job's notices and error lines, each without its "ERROR: " or
  // "Error: " lead, on one line, in the order they came.
  const std::vector<std::string>& Collected() const { return FCollected; }
  // The first of them from `mark` (a count of Collected() taken earlier) on;
  // empty when none came since.
  std::string ReasonSince(std::size_t mark) const {
    return mark < FCollected.size() ? FCollected[mark] : std::string();
  }
  // The first of them: what went wrong first says most (later ones are its
  // consequences). Empty when nothing was collected.
  std::string Reason() const { return FCollected.empty() ? std::string() : FCollected.front(); }

  // Sees every pane line before the pane does, for its own life (a job's
  // recorder reads the errors the job reports).
  class TWatcher {
   public:
    TWatcher(TJobOutput& output, std::function<void(const std::string& line)> onLine);
    ~TWatcher();
    TWatcher(const TWatcher&) = delete;
    TWatcher& operator=(const TWatcher&) = delete;

   private:
    friend class TJobOutput;
    TJobOutput& FOutput;
    std::function<void(const std::string& line)> FOnLine;
  };

 private:
  void Collect(const std::string& text);

  TLogPaneView* FPane;
  TPrompts* FPrompts;
  TAttendance FAttendance;
  const TJobStop* FStop = nullptr;
  std::vector<std::string> FCollected;
  std::vector<TWatcher*> FWatchers;
};

// Prompts that show nothing and answer as a user who only ever clicks the
// first button would (OK, Yes).
TPrompts& SilentPrompts();
