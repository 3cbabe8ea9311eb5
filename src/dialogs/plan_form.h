#pragma once
// TPlanForm: the modal dialog "Расписание" in which the user edits the weekly
// backup plan. It loads the plan from the controller when created; saving
// stores it into the controller's plan fields and writes the [Plan] section
// of the settings file at once.

#include <QDate>

#include "dialogs/fixed_dialog.h"

class QCheckBox;
class QDateTimeEdit;
class QFrame;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QVBoxLayout;
class TQuorvin;
class TRadioGroup;

class TPlanForm : public TFixedDialog {
 public:
  // Modal results: 1 only from "Запустить".
  static constexpr int ResultStart = 1;
  static constexpr int ResultOther = 2;
  // Index of the item "в " that goes with the clock-time picker.
  static constexpr int ClockItem = 7;
  // The date part the pickers keep for themselves; it never leaves them.
  static QDate PickerDate() { return QDate(2005, 3, 2); }

  // `controller` nullptr: the program-wide one (Quorvin). Runs FormCreate.
  explicit TPlanForm(QWidget* parent = nullptr, TQuorvin* controller = nullptr);

  void FormCreate();
  // The database the plan will back up, as the caller's window names it
  // (FormCreate shows the controller's DataBase).
  void SetPlanDatabase(const QString& name);
  // Copies every control into the plan fields, then the controller's
  // SavePlan writes them to the settings file.
  void StorePlan();
  void SetClockEnabled(bool on, QDateTimeEdit* picker);

  void rbDayBackClick();
  void rbNightBackClick();
  void bbOkClick();
  void bbStartClick();
  void bbCancelClick();

  QCheckBox* cbDay1Back;
  QCheckBox* cbDay2Back;
  QCheckBox* cbDay3Back;
  QCheckBox* cbDay4Back;
  QCheckBox* cbDay5Back;
  QCheckBox* cbDay6Back;
  QCheckBox* cbDay7Back;
  QLabel* Label4;
  QDateTimeEdit* dtDayBeginBack;
  QLabel* Label5;
  QDateTimeEdit* dtNightBeginBack;
  TRadioGroup* rbDayBack;
  QDateTimeEdit* dtDayBack;
  TRadioGroup* rbNightBack;
  QDateTimeEdit* dtNightBack;
  // What the plan backs up, read-only.
  QLabel* LabelDataBase;
  QLineEdit* eDataBase;
  // The desktop session starts the program; the plan resumes at start when
  // it was running at the last close.
  QCheckBox* cbStartWithSession;
  QCheckBox* cbResumePlan;
  // Retention of the plan's backups; 0 turns a rule off.
  QSpinBox* seKeepLastBackups;
  QSpinBox* seKeepBackupDays;
  QPushButton* bbStart;
  QPushButton* bbOk;
  QPushButton* bbCancel;

 private:
  QFrame* BuildWeekFrame();
  QFrame* BuildWindowFrame();
  // A caption with its start-time picker.
  QHBoxLayout* StartRow(QWidget* frame, const char* caption, QLabel*& label, QDateTimeEdit*& picker);
  // The rhythm items of a window with the clock-time picker of its last item.
  TRadioGroup* RhythmGroup(QWidget* frame, const char* caption, QDateTimeEdit*& clockPicker);
  QHBoxLayout* BuildDatabaseRow();
  QFrame* BuildRetentionFrame();
  void BuildButtons(QVBoxLayout* top);
  // StorePlan, then close with `result`; a failure to write the settings file
  // is shown and the dialog stays open.
  void SaveAndClose(int result);

  TQuorvin& FController;
};
