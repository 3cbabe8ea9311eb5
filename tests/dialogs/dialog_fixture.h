#pragma once
// A real controller over a settings file in a temporary program folder, and
// a plain reader of that file for checking what reached it.

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTextStream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "controller/quorvin.h"
#include "runner/ui_seams.h"

class TDialogFixture {
  // First member: the folder outlives the controller, which writes into it
  // when destroyed.
  QTemporaryDir FDir;

 public:
  // `ini`: the settings file's text before the controller reads it.
  explicit TDialogFixture(const QString& ini = QString()) {
    if (!ini.isNull()) WriteText(ini);
    Controller = std::make_unique<TQuorvin>(Dir().toStdString(), "Quorvin");
  }

  QString Dir() const { return FDir.path() + "/"; }
  QString IniPath() const { return Dir() + "Quorvin.INI"; }

  void WriteText(const QString& text) const {
    QFile file(IniPath());
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(text.toUtf8());
  }
  QByteArray ReadText() const {
    QFile file(IniPath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
  }
  // section -> key -> value, read independently of the program's own reader.
  std::map<QString, std::map<QString, QString>> ReadIni() const {
    std::map<QString, std::map<QString, QString>> out;
    QString section;
    for (const QString& raw : QString::fromUtf8(ReadText()).split('\n')) {
      const QString line = raw.trimmed();
      if (line.startsWith('[') && line.endsWith(']')) {
        section = line.mid(1, line.size() - 2);
        out[section];
      } else if (const qsizetype eq = line.indexOf('='); eq > 0) {
        out[section][line.left(eq)] = line.mid(eq + 1);
      }
    }
    return out;
  }

  std::unique_ptr<TQuorvin> Controller;
};

// Prompts that record every notice and answer nothing else.
class TRecordingPrompts : public TPrompts {
 public:
  TRecordingPrompts() { SetPrompts(this); }
  ~TRecordingPrompts() override { SetPrompts(nullptr); }
  void ShowMessage(const std::string& text) override { Messages.push_back(text); }
  bool AskYesNo(const std::string&) override { return true; }
  bool ConfirmOkCancel(const std::string&) override { return true; }
  void Beep() override {}

  std::vector<std::string> Messages;
};
