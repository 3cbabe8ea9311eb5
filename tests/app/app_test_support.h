#pragma once
// Shared by the main-window tests: scripted prompts, a temporary program
// folder with a prepared settings file, and file helpers.

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>
#include <string>

#include "runner/ui_seams.h"

// Records every prompt and answers Yes / OK unless told otherwise.
class TScriptedPrompts : public TPrompts {
 public:
  TScriptedPrompts() { SetPrompts(this); }
  ~TScriptedPrompts() override { SetPrompts(nullptr); }
  void ShowMessage(const std::string& text) override { Messages << QString::fromStdString(text); }
  bool AskYesNo(const std::string& text) override {
    Questions << QString::fromStdString(text);
    return AnswerYes;
  }
  bool ConfirmOkCancel(const std::string& text) override {
    Questions << QString::fromStdString(text);
    return AnswerOk;
  }
  void Beep() override { ++Beeps; }

  QStringList Messages;
  QStringList Questions;
  int Beeps = 0;
  bool AnswerYes = true;
  bool AnswerOk = true;
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
