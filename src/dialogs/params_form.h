#pragma once
// TParamsForm: the modal dialog "Параметры" in which the user chooses the
// network protocol and the backup and restore switches: the program's own,
// or those of one database of the plan, with the copies of the plan's
// backups on this computer and in an object store. It edits the options it is given;
// the caller stores them.

#include <QString>
#include <functional>
#include <utility>
#include <vector>

#include "controller/settings/settings.h"
#include "dialogs/fixed_dialog.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;
class TOffsiteGroup;

class TParamsForm : public TFixedDialog {
 public:
  // Modal results.
  static constexpr int ResultSave = 1;
  static constexpr int ResultClose = 2;

  // Edits `options` (kept by the caller, who outlives the dialog).
  TParamsForm(QWidget* parent, TDatabaseOptions& options);

  // Loads every control, shows `page` (0 backup, 1 restore) and runs the
  // dialog modally; returns its modal result.
  int ShowParams(int page);
  // The loading part of ShowParams.
  void LoadParams(int page);

  void bbSaveClick();
  void bbCloseClick();
  // The folder button of the copy on this computer.
  void sbLocalCopyDirClick();

  // Asks for a folder, starting at `current`; empty when cancelled. Tests
  // replace it; the default is the folder dialog.
  std::function<QString(const QString& current)> ChooseFolder;

  QLabel* Label6;
  QComboBox* brProtocol;
  QStackedWidget* Notebook;
  QCheckBox* chkBK1;
  QCheckBox* chkBK2;
  QCheckBox* chkBK3;
  QCheckBox* chkBK4;
  QCheckBox* chkBK5;
  QCheckBox* chkBK6;
  QCheckBox* chkBK7;
  QCheckBox* BackShutDown;
  QCheckBox* cbAutoBackName;
  QCheckBox* cbVerifyBackup;
  QGroupBox* gbLocalCopy;
  QLineEdit* eLocalCopyDir;
  QToolButton* sbLocalCopyDir;
  QCheckBox* chkLocalCopyOnly;
  QCheckBox* chkRS1;
  QCheckBox* chkRS2;
  QCheckBox* chkRS3;
  QCheckBox* chkRS4;
  QCheckBox* chkRS5;
  QCheckBox* chkRS6;
  QCheckBox* chkRS7;
  QPushButton* bbSave;
  QPushButton* bbClose;

 private:
  void BuildProtocolRow(QVBoxLayout* top);
  void BuildPages(QVBoxLayout* top);
  // The backup also kept on this computer, compressed, in a folder.
  QGroupBox* BuildLocalCopyGroup();
  void BuildButtons(QVBoxLayout* top);

  TDatabaseOptions& FOptions;
  // Where the plan's backups of these options also go, off site.
  TOffsiteGroup* FOffsite;
  // Every check box with the field it edits, in storing order.
  std::vector<std::pair<QCheckBox*, bool TDatabaseOptions::*>> FSwitches;
};
