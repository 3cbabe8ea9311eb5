#include "app/message_box_prompts.h"

#include <QApplication>
#include <QMessageBox>

namespace {

// Message boxes of the program carry its title, as the desktop shows it.
int RunBox(QWidget* owner, QMessageBox::Icon icon, const std::string& text, QMessageBox::StandardButtons buttons,
           QMessageBox::StandardButton defaultButton) {
  QMessageBox box(icon, QApplication::applicationDisplayName(), QString::fromStdString(text), buttons, owner);
  box.setDefaultButton(defaultButton);
  box.setTextFormat(Qt::PlainText);
  return box.exec();
}

}  // namespace

void TMessageBoxPrompts::ShowMessage(const std::string& text) {
  RunBox(FOwner, QMessageBox::NoIcon, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool TMessageBoxPrompts::AskYesNo(const std::string& text) {
  return RunBox(FOwner, QMessageBox::Warning, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
         QMessageBox::Yes;
}

bool TMessageBoxPrompts::ConfirmOkCancel(const std::string& text) {
  return RunBox(FOwner, QMessageBox::Question, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) ==
         QMessageBox::Ok;
}

void TMessageBoxPrompts::Beep() { QApplication::beep(); }
