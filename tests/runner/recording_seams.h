#pragma once
// A pane that keeps its lines and prompts that keep their messages, and the
// job output that reaches both (hand it to a job: job.Output = &Output).

#include <string>
#include <vector>

#include "runner/job_output.h"
#include "runner/ui_seams.h"

class TRecordingPane : public TLogPaneView {
 public:
  void Clear() override {
    Lines.clear();
    ++Clears;
  }
  void AppendLine(const std::string& line) override { Lines.push_back(line); }

  std::vector<std::string> Lines;
  int Clears = 0;
};

class TRecordingPrompts : public TPrompts {
 public:
  void ShowMessage(const std::string& text) override { Messages.push_back(text); }
  bool AskYesNo(const std::string& text) override {
    Messages.push_back(text);
    return true;
  }
  bool ConfirmOkCancel(const std::string& text) override {
    Messages.push_back(text);
    return true;
  }
  void Beep() override {}

  std::vector<std::string> Messages;
};

// Both, with an attended job's output over them.
struct TRecordingSeams {
  TRecordingPane Pane;
  TRecordingPrompts Prompts;
  TJobOutput Output{&Pane, &Prompts};
};
