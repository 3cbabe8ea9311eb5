#pragma once
// Shared by the main-window tests: the window's message boxes answered by
// script, a temporary program folder with a prepared settings file, and file
// helpers.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <string>

#include "app/message_box_prompts.h"

// Runs the window's event loop until its jobs, and any that waited behind
// them, have ended and shown their ends, as a user waits.
template <typename TForm>
void WaitForJobs(TForm& form) {
  while (form.JobInProgress() || (form.Controller() && form.Controller()->JobRunning()))
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  QCoreApplication::processEvents();
}

// Clicks a job's button and waits for the job.
template <typename TForm>
void RunJob(TForm& form, void (TForm::*click)()) {
  (form.*click)();
  WaitForJobs(form);
}

// The window shows its own message boxes (and its jobs theirs): each one that
// opens is recorded, then answered once its event loop runs: a notice with
// OK, a question with Yes / OK unless told otherwise. Beeps are counted.
class TScriptedBoxes : public QObject {
 public:
  TScriptedBoxes() { qApp->installEventFilter(this); }
  // Counts the beeps of the window's boxes.
  void HearBeepsOf(TMessageBoxPrompts& prompts) {
    prompts.OnBeep = [this] { ++FBeeps; };
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* box = event->type() == QEvent::Show ? qobject_cast<QMessageBox*>(watched) : nullptr;
    if (box == nullptr || FSeen.contains(box)) return false;
    FSeen.append(box);
    const QMessageBox::StandardButtons buttons = box->standardButtons();
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    if (buttons & QMessageBox::Yes)
      answer = AnswerYes ? QMessageBox::Yes : QMessageBox::No;
    else if (buttons & QMessageBox::Cancel)
      answer = AnswerOk ? QMessageBox::Ok : QMessageBox::Cancel;
    (buttons == QMessageBox::Ok ? Messages : Questions) << box->text();
    QTimer::singleShot(0, box, [box, answer] {
      if (QAbstractButton* button = box->button(answer)) button->click();
    });
    return false;
  }
  int Beeps() const { return FBeeps; }

  QStringList Messages;
  QStringList Questions;
  bool AnswerYes = true;
  bool AnswerOk = true;

 private:
  int FBeeps = 0;
  QList<QPointer<QMessageBox>> FSeen;
};

// A program folder of its own, with Quorvin.INI holding `ini` (if any).
class TProgramFolder {
 public:
  explicit TProgramFolder(const QString& ini = {}) {
    if (!ini.isNull()) WriteFile("Quorvin.INI", ini);
  }
  std::string Dir() const { return (FDir.path() + "/").toStdString(); }
  QString Path(const QString& name) const { return FDir.filePath(name); }
  void WriteFile(const QString& name, const QString& text) const {
    QFile file(Path(name));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(text.toUtf8());
  }
  QString ReadFile(const QString& name) const {
    QFile file(name.startsWith('/') ? name : Path(name));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
  }
  QString Ini() const { return ReadFile("Quorvin.INI"); }
  void WriteBytes(const QString& name, const QByteArray& bytes) const {
    QFile file(Path(name));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
  }
  QByteArray IniBytes() const {
    QFile file(Path("Quorvin.INI"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

 private:
  QTemporaryDir FDir;
};
