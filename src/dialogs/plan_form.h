#pragma once
// TPlanForm: the modal dialog "Расписание". At its top the list of the
// plan's databases (database, rhythm, next backup, last outcome) with
// "Добавить", "Добавить текущую" and "Удалить"; below, the weekly plan of the
// selected entry (weekdays, day and night windows with their rhythms,
// retention) and, for every entry but the first, its own protocol, switches
// and login. Entry 1 is the program's plan: its parameters and login are the
// program's own. A line follows every edit of its entry at once. Saving
// stores the list into the settings and writes the plan to the settings file
// at once; a plan whose chosen rhythm never runs (a window of no length, a
// clock time outside its window) is not saved: the dialog says why, beneath
// the windows as they are edited and in a box when saving. The user may size
// the dialog; its content never does.

#include <QDate>
#include <functional>
#include <string>
#include <vector>

#include "controller/settings/settings.h"
#include "dialogs/fixed_dialog.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QFrame;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QVBoxLayout;
class TPlan;
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
  // The columns of the list.
  enum TColumn { ColumnDatabase, ColumnRhythm, ColumnNext, ColumnLast, ColumnCount };

  // Writes the plan to the settings file, and the session's autostart entry
  // when `sessionStart` (the switch is on, or was).
  using TSavePlan = std::function<void(bool sessionStart)>;
  // Edits the plan of `settings`. `plan` tells each entry's next backup and
  // last outcome (null: the columns stay empty). Runs FormCreate.
  TPlanForm(QWidget* parent, TSettings& settings, const TPlan* plan, TSavePlan savePlan);

  void FormCreate();
  // The database the window names now (as bytes): "Добавить текущую" adds
  // it, and a plan of one database shows it as entry 1's, since "Запустить"
  // takes it then (as the backup button does).
  void SetPlanDatabase(const std::string& database);
  // Copies every control into the entries, the entries into the settings,
  // then writes the plan.
  void StorePlan();
  void SetClockEnabled(bool on, QDateTimeEdit* picker);

  // The entries as edited so far (the selected one as last loaded or
  // stored).
  const std::vector<TPlanEntry>& Entries() const { return FEntries; }
  int CurrentEntry() const { return FCurrent; }
  void SelectEntry(int row);

  void rbDayBackClick();
  void rbNightBackClick();
  void bbOkClick();
  void bbStartClick();
  void bbCancelClick();
  void bbAddEntryClick();
  void bbAddCurrentClick();
  void bbRemoveEntryClick();
  void bbEntryParamsClick();

  // Edits an entry's options (the parameters dialog by default; tests
  // answer in its place).
  std::function<void(TDatabaseOptions& options)> EditOptions;

  QTableWidget* twEntries;
  QPushButton* bbAddEntry;
  QPushButton* bbAddCurrent;
  QPushButton* bbRemoveEntry;
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
  // What the selected entry backs up: read-only for a plan of one database
  // (the database named in the window), else its own.
  QLabel* LabelDataBase;
  QLineEdit* eDataBase;
  // What the selected entry's plan makes: logical backups, or incremental
  // ones in levels; for an incremental entry the weekdays and windows below
  // are those of the level chosen here (0, 1 or 2).
  QComboBox* cbBackupKind;
  QComboBox* cbLevel;
  // The selected entry's own options and login (not for entry 1).
  QPushButton* bbEntryParams;
  QCheckBox* cbOwnLogin;
  QLineEdit* eEntryUser;
  QLineEdit* eEntryPass;
  // The desktop session starts the program; the plan resumes at start when
  // it was running at the last close.
  QCheckBox* cbStartWithSession;
  QCheckBox* cbResumePlan;
  // Retention of the entry's plan backups; 0 turns a rule off.
  QSpinBox* seKeepLastBackups;
  QSpinBox* seKeepBackupDays;
  // Why a chosen rhythm of the entry (the level) being edited never runs;
  // empty while every one can.
  QLabel* lbRhythmProblem;
  QPushButton* bbStart;
  QPushButton* bbOk;
  QPushButton* bbCancel;

 private:
  QFrame* BuildListFrame();
  QFrame* BuildWeekFrame();
  QFrame* BuildWindowFrame();
  // A caption with its start-time picker.
  QHBoxLayout* StartRow(QWidget* frame, const char* caption, QLabel*& label, QDateTimeEdit*& picker);
  // The rhythm items of a window with the clock-time picker of its last item.
  TRadioGroup* RhythmGroup(QWidget* frame, const char* caption, QDateTimeEdit*& clockPicker);
  QHBoxLayout* BuildDatabaseRow();
  QHBoxLayout* BuildEntryOptionsRow();
  QHBoxLayout* BuildKindRow();
  // The weekly plan of the level being edited, from and into the controls.
  TPlanRecord& EditedPlan(TPlanEntry& entry);
  void LoadPlan(const TPlanRecord& plan);
  void StorePlanInto(TPlanRecord& plan);
  // The level chosen in cbLevel is edited from now on.
  void LevelChanged();
  QFrame* BuildRetentionFrame();
  void BuildButtons(QVBoxLayout* top);
  // The controls from entry `row`, and back.
  void LoadEntry(int row);
  void StoreEntry(int row);
  // One line of the list per entry; the selection kept.
  void FillList();
  void FillRow(int row);
  // The list's least width: every column's caption whole.
  void FitEntries();
  // The controls' changes reach the entry and its line at once.
  void FollowEdits();
  // Tests and style sheets find the controls by these names.
  void NameControls();
  void EntryEdited();
  QLabel* BuildRhythmProblem();
  void ShowRhythmProblem();
  // True (the line at fault selected, the user told) when a chosen rhythm
  // of an entry never runs.
  bool RefusedRhythm();
  // The dialog's size when it opens.
  static constexpr int ClientWidth = 620;
  static constexpr int ClientHeight = 480;
  void AddEntry(const std::string& database);
  // StorePlan, then close with `result`; a failure to write the settings file
  // is shown and the dialog stays open.
  void SaveAndClose(int result);

  TSettings& FSettings;
  const TPlan* FPlan;
  TSavePlan FSavePlan;
  std::vector<TPlanEntry> FEntries;
  int FCurrent = -1;
  // The level whose plan the controls show (0 for a logical entry).
  int FLevel = 0;
  // The database the window names, as bytes.
  std::string FWindowDatabase;
  // The controls are being loaded from an entry.
  bool FLoading = false;
};
