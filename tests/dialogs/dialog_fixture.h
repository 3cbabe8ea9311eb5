#pragma once
// A real controller over a settings file in a temporary program folder, and
// a plain reader of that file for checking what reached it.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "controller/quorvin.h"

// The off-site group of `dialog`, found by its controls' names: what it
// shows, and typing `place` into it.
inline QLineEdit* OffsiteLine(QWidget* dialog, const char* name) {
  auto* edit = dialog->findChild<QLineEdit*>(name);
  if (edit == nullptr) qFatal("no line %s", name);
  return edit;
}
inline std::vector<std::pair<QLineEdit*, std::string TOffsiteSettings::*>> OffsiteLines(QWidget* dialog) {
  return {{OffsiteLine(dialog, "eOffsiteUrl"), &TOffsiteSettings::Url},
          {OffsiteLine(dialog, "eOffsiteEndpoint"), &TOffsiteSettings::Endpoint},
          {OffsiteLine(dialog, "eOffsiteRegion"), &TOffsiteSettings::Region},
          {OffsiteLine(dialog, "eOffsiteCredentials"), &TOffsiteSettings::Credentials},
          {OffsiteLine(dialog, "eOffsiteEncryptKey"), &TOffsiteSettings::EncryptKey}};
}
inline TOffsiteSettings ShownOffsite(QWidget* dialog) {
  TOffsiteSettings place;
  for (const auto& [edit, field] : OffsiteLines(dialog)) place.*field = edit->text().toStdString();
  place.PathStyle = dialog->findChild<QCheckBox*>("chkOffsitePathStyle")->isChecked();
  return place;
}
inline void TypeOffsite(QWidget* dialog, const TOffsiteSettings& place) {
  for (const auto& [edit, field] : OffsiteLines(dialog)) edit->setText(QString::fromStdString(place.*field));
  dialog->findChild<QCheckBox*>("chkOffsitePathStyle")->setChecked(place.PathStyle);
}

class TDialogFixture {
  // First member: the folder outlives the controller, which writes into it
  // when destroyed.
  QTemporaryDir FDir;

 public:
  // `ini`: the settings file's text before the controller reads it.
  explicit TDialogFixture(const QString& ini = QString()) {
    if (!ini.isNull()) WriteText(ini);
    Controller = std::make_unique<TQuorvin>(TFrontEnd{}, Dir().toStdString(), "Quorvin");
  }

  // A new controller reads the file the old one leaves.
  void Reopen() {
    Controller.reset();
    Controller = std::make_unique<TQuorvin>(TFrontEnd{}, Dir().toStdString(), "Quorvin");
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

// Records the text of every message box that opens and answers it with OK,
// once its own event loop runs: the dialogs show their boxes themselves.
class TRecordingBoxes : public QObject {
 public:
  TRecordingBoxes() { qApp->installEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* box = event->type() == QEvent::Show ? qobject_cast<QMessageBox*>(watched) : nullptr;
    if (box == nullptr || FSeen.contains(box)) return false;
    FSeen.append(box);
    Messages.push_back(box->text().toStdString());
    QTimer::singleShot(0, box, [box] {
      if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
    });
    return false;
  }

  std::vector<std::string> Messages;

 private:
  QList<QPointer<QMessageBox>> FSeen;
};
