#pragma once
// Seams that record what the runner shows: a pane that keeps its lines and
// prompts that keep their messages. Installed for the life of the object.

#include <string>
#include <vector>

#include "runner/log_pane.h"
#include "runner/ui_seams.h"

class TRecordingPane : public TLogPaneView {
 public:
  TRecordingPane() { LogPane = this; }
  ~TRecordingPane() override { LogPane = nullptr; }
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
  TRecordingPrompts() { SetPrompts(this); }
  ~TRecordingPrompts() override { SetPrompts(nullptr); }
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
