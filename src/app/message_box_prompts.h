#pragma once
// The core's prompts as the program shows them: message boxes.

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "runner/ui_seams.h"

// Message boxes over `owner` (the main window) and the desktop's beep.
//
// While NonBlocking says so (a job is under way), a notice is a box that
// stays open beside the program and returns at once: a modal box would run
// its own event loop on top of the job's, and the job would stand still
// until someone clicked. Several such boxes may be open (the same notice
// again brings its box forward); each goes away when closed. Questions are asked only before a job starts and stay
// modal.
class TMessageBoxPrompts : public TPrompts {
 public:
  explicit TMessageBoxPrompts(QWidget* owner) : FOwner(owner) {}
  void ShowMessage(const std::string& text) override;
  // The same, a notice or a box that waits for a click as `notice` says,
  // whatever NonBlocking says.
  void ShowMessage(const std::string& text, bool notice);
  bool AskYesNo(const std::string& text) override;
  bool ConfirmOkCancel(const std::string& text) override;
  void Beep() override;
  std::optional<std::string> AskPassword(const std::string& text) override;

  std::function<bool()> NonBlocking;
  // Hears every beep (before the desktop's own).
  std::function<void()> OnBeep;
  // Told of every notice shown without blocking (the status bar shows it);
  // once its box has closed, told the text of the newest box still open, or
  // an empty text.
  std::function<void(const QString& text)> OnNotice;
  // The boxes shown without blocking that are still open, oldest first.
  QList<QMessageBox*> OpenNotices() const;

 private:
  void ShowNonBlocking(const QString& text);

  QWidget* FOwner;
  QList<QPointer<QMessageBox>> FOpen;
};
