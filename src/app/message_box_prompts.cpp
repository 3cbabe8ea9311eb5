#include "app/message_box_prompts.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <memory>

namespace {

// Message boxes of the program carry its title, as the desktop shows it.
QMessageBox* NewBox(QWidget* owner, QMessageBox::Icon icon, const std::string& text,
                    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
  auto* box =
      new QMessageBox(icon, QApplication::applicationDisplayName(), QString::fromStdString(text), buttons, owner);
  box->setDefaultButton(defaultButton);
  box->setTextFormat(Qt::PlainText);
  return box;
}

int RunBox(QWidget* owner, QMessageBox::Icon icon, const std::string& text, QMessageBox::StandardButtons buttons,
           QMessageBox::StandardButton defaultButton) {
  std::unique_ptr<QMessageBox> box(NewBox(owner, icon, text, buttons, defaultButton));
  return box->exec();
}

// A box opened while others are still open stands a little lower and to the
// right, so none hides another.
constexpr int StackStep = 24;

}  // namespace

void TMessageBoxPrompts::ShowMessage(const std::string& text) { ShowMessage(text, NonBlocking && NonBlocking()); }

void TMessageBoxPrompts::ShowMessage(const std::string& text, bool notice) {
  if (notice)
    ShowNonBlocking(QString::fromStdString(text));
  else
    RunBox(FOwner, QMessageBox::NoIcon, text, QMessageBox::Ok, QMessageBox::Ok);
}

void TMessageBoxPrompts::ShowNonBlocking(const QString& text) {
  const QList<QMessageBox*> open = OpenNotices();
  // The same notice again (a close tried twice) brings the open one forward.
  for (QMessageBox* shown : open) {
    if (shown->text() != text) continue;
    shown->raise();
    shown->activateWindow();
    return;
  }
  QMessageBox* box = NewBox(FOwner, QMessageBox::NoIcon, text.toStdString(), QMessageBox::Ok, QMessageBox::Ok);
  box->setWindowModality(Qt::NonModal);
  box->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(box, &QDialog::finished, box, [this, box] {
    FOpen.removeAll(box);
    box->deleteLater();
    const QList<QMessageBox*> still = OpenNotices();
    if (OnNotice) OnNotice(still.isEmpty() ? QString() : still.last()->text());
  });
  FOpen.append(box);
  box->show();
  if (!open.isEmpty()) box->move(open.last()->pos() + QPoint(StackStep, StackStep));
  if (OnNotice) OnNotice(text);
}

QList<QMessageBox*> TMessageBoxPrompts::OpenNotices() const {
  QList<QMessageBox*> open;
  for (const QPointer<QMessageBox>& box : FOpen)
    if (box) open.append(box);
  return open;
}

bool TMessageBoxPrompts::AskYesNo(const std::string& text) {
  return RunBox(FOwner, QMessageBox::Warning, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
         QMessageBox::Yes;
}

bool TMessageBoxPrompts::ConfirmOkCancel(const std::string& text) {
  return RunBox(FOwner, QMessageBox::Question, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) ==
         QMessageBox::Ok;
}

void TMessageBoxPrompts::Beep() {
  if (OnBeep) OnBeep();
  QApplication::beep();
}

std::optional<std::string> TMessageBoxPrompts::AskPassword(const std::string& text) {
  bool ok = false;
  const QString password = QInputDialog::getText(FOwner, QApplication::applicationDisplayName(),
                                                 QString::fromStdString(text), QLineEdit::Password, QString(), &ok);
  if (!ok || password.isEmpty()) return std::nullopt;
  return password.toStdString();
}
