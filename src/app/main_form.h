#pragma once
// TMainForm: the program's main window. It creates the controller and the
// notification-area icon, lets the user name a database and a backup file,
// start a backup or a restore, open both settings dialogs and start the
// weekly plan, and shows the running text of every job in its log pane.
// It does the user-interface work only; jobs, plan and logs are the
// controller's.

#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>

#include "app/log_pane_widget.h"
#include "app/message_box_prompts.h"
#include "app/status_panel.h"
#include "app/tray_notices.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStatusBar;
class QTabWidget;
class QToolButton;
class TCoolTrayIcon;
class THistoryPage;
class TImageList;
class TPopupMenu;
class TQuorvin;
class TPlanStatusWriter;
class TBackupOutcomes;
struct TBackupOutcome;

// A label that reports any mouse button pressed on it.
class TClickLabel : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> OnMouseDown;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // Outer size of the window at start; the user may change it.
  static constexpr int FormWidth = 596;
  static constexpr int FormHeight = 406;
  // The pages' least height; taller where a page needs it.
  static constexpr int TabControlHeight = 177;
  // The history page's tab: the last one.
  static constexpr int HistoryTab = 4;
  // The window grows to this size (within the screen) while the history
  // page shows: its table's columns and its two charts side by side.
  static constexpr int HistoryHeight = 600;
  static constexpr int HistoryWidth = 960;

  // `programDir` empty: the controller uses the folder of the executable.
  explicit TMainForm(const std::string& programDir = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  // Handlers, named after control and event.
  void FormCreate();
  void FormClose();
  void BitBtn1Click();
  // "Инкрементная копия": a physical backup of the level beside it.
  void bbIncrementalClick();
  void sbOpenDataBaseClick();
  void sbOpenDataBackClick();
  void bbFromStoreClick();
  void bbParametersClick();
  void bbRestoreClick();
  void BitBtn3Click();
  void Restore1Click();
  void Exit1Click();
  void N1Click();
  void N2Click();
  void LabelSiteMouseDown();
  void LabelMailMouseDown();

  // The open dialog with its title, default extension and filter, starting
  // in the folder of `near` when that folder exists; the chosen file, or
  // empty when the user cancelled.
  QString ChooseFile(const QString& title, const QString& defaultExt, const QString& filter,
                     const QString& near = QString());
  void StoreLogin();
  // The window's login, its "Помнить" and its database list into the
  // settings; and then into the settings file.
  void HandSettingsOver();
  void SaveSettings();

  // A job of the window or of the plan runs or waits: actions that open a
  // dialog or close the program are refused meanwhile (a job the window
  // starts meanwhile waits its turn).
  bool JobInProgress() const;
  // At start: when the plan was running at the last close and is to resume
  // (ResumePlan), starts it hidden in the notification area as "Запустить"
  // does, and returns true; otherwise false (the caller shows the window).
  bool ResumePlanAtStart();
  // Brings the window back at a later start's request: out of the
  // notification area (stopping the plan) when it sits there, restored and
  // with the focus in any case.
  void ShowAtRequest();
  // The session is ending (a termination signal): the window closes as an
  // ordinary close does, once no job is under way. Open message boxes and
  // dialogs get their cancelling answer, since nobody is left to answer them.
  void RequestSessionClose();
  bool SessionCloseRequested() const { return FSessionCloseRequested; }

  // The controller (nullptr once the window has closed).
  TQuorvin* Controller() const { return FController.get(); }
  TCoolTrayIcon* TrayIcon() const { return FTrayIcon; }
  TMessageBoxPrompts& MessageBoxes() { return FPrompts; }
  // The backup file the restore page offers.
  const std::string& RestoreSource() const { return FRestoreSource; }
  // Brings the status bar, the tray icon's tool tip and its picture up to
  // date with what the controller is doing and what the history says (read
  // as it grows, whoever writes it); also run every second.
  void RefreshState();
  // The history page is read again after each plan backup of the program
  // that runs the plan of these settings (the service).
  void FollowPlanElsewhere();

  // Runs the open dialog: exec() by default; tests answer in its place.
  // (It opens only before a job; during one its buttons are refused.)
  std::function<bool(QFileDialog& dialog)> RunFileDialog;
  // Shows the save dialog of the pane and returns at once (open()): the pane
  // can be saved in the middle of a job without holding it up. The chosen
  // file arrives through the dialog's fileSelected; tests select and accept
  // in its place.
  std::function<void(QFileDialog& dialog)> OpenSaveDialog;
  // Opens an address with the desktop's handler; tests record it instead.
  std::function<void(const QUrl& url)> OpenUrl;

  // Controls, as the window draws them.
  QTabWidget* PageControl;
  QWidget* TabSheet4;
  QWidget* TabSheet5;
  QWidget* TabSheet6;
  QWidget* TabSheet7;
  THistoryPage* TabSheet8;
  QLabel* Label4;
  QComboBox* cbBD_Name;
  QToolButton* sbOpenDataBase;
  QPushButton* BitBtn1;
  QPushButton* bbIncremental;
  QSpinBox* seIncrementalLevel;
  QPushButton* bbParameters;
  QPushButton* BitBtn3;
  QLabel* Label3;
  QLabel* PanelBD_Back;
  QToolButton* sbOpenDataBack;
  QPushButton* bbFromStore;
  QLabel* Label5;
  QLineEdit* eNameBD;
  QPushButton* bbRestore;
  QPushButton* BitBtn4;
  QLabel* Label1;
  QLineEdit* eUser;
  QLabel* Label2;
  QLineEdit* ePass;
  QCheckBox* cbRememberPass;
  QLabel* Label6;
  QLabel* LabelAuthor;
  QLabel* LabelYear;
  TClickLabel* LabelMail;
  TClickLabel* LabelSite;
  // Where this run keeps its settings file and its logs.
  QLabel* LabelSettingsPath;
  QLabel* LabelLogPath;
  TLogPane* Log;
  QMenu* pmMenu;
  QAction* N1;
  QAction* N2;
  QStatusBar* StatusBar1;
  // The state at a glance: the job, the plan's next backup, the last plan
  // backup.
  QLabel* StatusState;
  // The running job's estimate as a bar; its words ("45 %, осталось 1:20")
  // are on the status line.
  QProgressBar* pbJobProgress;
  TStatusPanel& StatusPanel() { return *FStatus; }
  TPopupMenu* TrayPopup;
  QAction* Restore1;
  QAction* Exit1;
  TImageList* ImageList;
  TImageList* ImageListIcons;
  QFileDialog* OpenDialog;
  QFileDialog* SaveDialog;

 signals:
  // The window has closed: the program ends.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildWindow();
  void BuildDatabasePage();
  void BuildRestorePage();
  // "Из хранилища…" is open while entry 1 has an off-site place; its tool
  // tip says why not otherwise.
  void ShowFromStoreState();
  // The restore of the off-site copy FRestoreSource into `target`, a new
  // database; false (the user told) when it cannot start.
  bool RestoreFromStore(const std::string& target, const std::function<void(const std::string&)>& end);
  void BuildLoginPage();
  void BuildAboutPage();
  void BuildHistoryPage();
  void BuildStatusBar();
  // The history page takes the whole window; the others share it with the
  // log pane.
  void PageChanged(int index);
  // The other pages as tall as the tallest of them needs at the window's
  // width, never less than TabControlHeight.
  void FitPages();
  // The history page in a window the user can see: every failure it lists
  // is seen from now on (also after a restart: the settings keep it).
  void NoteHistorySeen();
  // While the plan runs here: the icon's attention picture while a failure
  // is unseen or the newest backup of a database has a warning.
  void ShowTrayPicture();
  // After a line of a job's output: the status line and the bar follow, a
  // few times a second, and at once when the job starts, moves on to its
  // next phase or ends.
  void ShowJobProgress();
  // The success box's text: the file made, whether it was verified, where
  // its copy on this computer is.
  static std::string BackupAnnouncement(const TBackupOutcome& outcome);
  void BuildLogPane();
  // Runs `body`; an error it raises reaches the standard error display.
  void Guarded(const std::function<void()>& body);
  // True (after telling the user) when a job is under way.
  bool RefusedDuringJob();
  // The job buttons and dialog buttons, disabled while the window's own job
  // runs.
  void SetJobControlsEnabled(bool enabled);
  // Starts the job of a button: `start` asks the controller for it and
  // hands it the function that ends it with an announcement. The job
  // controls stay disabled until then; a second job of the window is
  // refused meanwhile. A job that waits for another says so; the
  // announcement of a job that ran at once follows it (nothing waits beneath
  // that box any more).
  using TEndJob = std::function<void(const std::string& announcement)>;
  void RunWindowJob(const std::function<bool(const TEndJob& end)>& start);
  void EndWindowJob(const std::string& announcement);
  void PrepareLogForJob();
  // The database named on the backup page (chosen first when none is), put
  // at the top of the list.
  std::string DatabaseForBackup();
  // The plan starts: the window hides into the notification area and the
  // controller's timer runs. False (the user told) when another program runs
  // the plan of these settings.
  bool StartPlanInTray();
  // The name goes to the top of the database list and is selected.
  void PutDatabaseNameFirst(const std::string& bytes);
  // The database name in the list's edit field, as bytes: an entry's own
  // bytes while its text is unchanged (setting_bytes.h).
  std::string DatabaseNameBytes() const;
  void ShowBackSource();
  void ShowFileLocations();
  // Saves the pane as the save dialog's answer `fileName` (".txt" added
  // when it has no extension); an existing file is replaced only after a
  // question that does not hold anything up.
  void SavePaneAs(QString fileName);
  void WritePane(const QString& fileName);
  // One step towards a requested session close; repeated by FSessionCloseTimer
  // until the window has closed.
  void TrySessionClose();

  std::string FProgramDir;
  std::string FRestoreSource;
  // The user name and password as the settings file held them.
  std::string FUserBytes;
  std::string FPassBytes;
  std::unique_ptr<TQuorvin> FController;
  // What this window's plan tells the service and quorvinctl status.
  std::unique_ptr<TPlanStatusWriter> FPlanStatus;
  // When the other program's last plan backup ended, as last seen.
  double FElsewhereLastEnded = 0;
  // The newest outcome of each database and the failures not seen yet.
  std::unique_ptr<TBackupOutcomes> FOutcomes;
  TCoolTrayIcon* FTrayIcon = nullptr;
  TMessageBoxPrompts FPrompts;
  std::unique_ptr<TTrayNotices> FTrayNotices;
  QTimer* FStateTimer = nullptr;
  // The window's own job runs or waits.
  bool FJobActive = false;
  bool FClosed = false;
  bool FCentred = false;
  bool FSessionCloseRequested = false;
  QTimer* FSessionCloseTimer = nullptr;
  std::unique_ptr<TStatusPanel> FStatus;
  // When the progress was last shown after a line, and in which phase.
  QElapsedTimer FProgressClock;
  int FShownPhase = -1;
  // The window's size before the history page made it larger, and the size
  // it made: a size the user gives it meanwhile is kept.
  QSize FSizeBeforeHistory;
  QSize FHistorySize;
};
