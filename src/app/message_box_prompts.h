#pragma once
// The core's prompts as the program shows them: modal message boxes.

#include <QWidget>
#include <string>

#include "runner/ui_seams.h"

// Modal message boxes over `owner` (the main window) and the desktop's beep.
class TMessageBoxPrompts : public TPrompts {
 public:
  explicit TMessageBoxPrompts(QWidget* owner) : FOwner(owner) {}
  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  bool ConfirmOkCancel(const std::string& text) override;
  void Beep() override;

 private:
  QWidget* FOwner;
};
