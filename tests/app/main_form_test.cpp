// The main window with the real controller on a temporary program folder,
// scripted answers to its message boxes and a stand-in job where no server is
// needed. Headless.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTranslator>
#include <QtTest>
#include <thread>

#include "app/app_test_support.h"
#include "app/cool_tray_icon.h"
#include "app/main_form.h"
#include "app/qt_seams.h"
#include "app/qt_translations.h"
#include "app/tray_notices.h"
#include "controller/history/job_history.h"
#include "controller/quorvin.h"
#include "dialogs/params_form.h"
#include "dialogs/plan_form.h"
#include "jobs/job_runner.h"
#include "platform/exception.h"
#include "platform/fake_clock.h"
#include "platform/iso_time.h"
#include "runner/job_output.h"

namespace {

const QString BackupFailed = "Создать резервную копию не удалось !";

// A job that makes its target file (or not) and says so.
std::function<bool(TJobRunner&)> StandInJob(bool makeTarget, int* runs = nullptr) {
  return [makeTarget, runs](TJobRunner& job) {
    if (runs) ++*runs;
    if (job.Output) job.Output->AddPaneLine("stand-in job " + SourceOf(job.Job()).Get());
    if (makeTarget) {
      QFile file(QString::fromStdString(TargetOf(job.Job()).Get()));
      file.open(QIODevice::WriteOnly);
      file.write("x");
    }
    return makeTarget;
  };
}

QStringList Items(QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

// Answers the next modal dialog of type T with `answer` once it is up.
template <typename T>
void AnswerNextDialog(std::function<void(T&)> answer) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
    if (auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      answer(*dialog);
    }
  });
  poll->start(10);
}

}  // namespace

class TMainFormTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { InstallQtSeams(); }
  void cleanup() { UninstallQtSeams(); }

  void startUpFillsFromSettings_data();
  void startUpFillsFromSettings();
  void closingHandsSettingsOver();
  void untouchedSettingsKeepTheirBytes();
  void typedNameInOtherCaseMovesEntry();
  void emptyNameOpensDialogAndFailsTwice();
  void onlyElevenNamesReachTheFile();
  void successfulBackupOffersFileForRestore();
  void failedBackupKeepsRestoreSource();
  void restoreAnnouncesTarget();
  void restoreFromStoreNeedsAPlaceAndANewDatabase();
  void exitFromTrayWritesStopLineTitleBarCloseDoesNot();
  void restoreFromTrayStopsPlan();
  void savingPaneAddsTxt();
  void actionsAndClosingRefusedDuringJob();
  void parametersOpenOnPageOfActiveTab();
  void userUpperCasedPasswordStarred();
  void aboutLabelsOpenAddresses();
  void aboutPageShowsWhereFilesLive();
  void logPaneScrollBarFromFirstJob();
  void laterStartBringsWindowBack();
  void withoutTrayUnminimisingStopsPlan();
  void sessionEndClosesLikeAClose();
  void sessionEndDuringJobClosesAfterIt();
  void sessionEndAnswersOpenQuestionsNo();
  void planTakesTheDatabaseShownAndResumesAtStart();
  void openDialogsOfferFdbAndStartBesideTheFile();
  void statusLineTellsTheStateThroughAJob();
  void progressFollowsTheJobsPhases();
  void damagedCopyIsNamedBeforeAnyQuestion();
  void aboutPageFitsAndTheWidthIsKept();
  void qtSpeaksRussianInDialogs();
  void threeDatabasesOneFailingNothingHidden();
  void theProgramsOwnReasonIsShownInRussian();
};

void TMainFormTest::startUpFillsFromSettings_data() {
  QTest::addColumn<bool>("remember");
  QTest::newRow("remember on") << true;
  QTest::newRow("remember off") << false;
}

void TMainFormTest::startUpFillsFromSettings() {
  QFETCH(bool, remember);
  TScriptedBoxes boxes;
  TProgramFolder folder(QString("[Main]\nUser=ALICE\nPass=s3cret\nLastBack=/data/old.gbk\n"
                                "[Parameters]\nRememberPass=%1\n"
                                "[BDNames]\nName0=/data/b.gdb\nName1=\nName2=/data/a.gdb\n")
                            .arg(remember ? 1 : 0));
  TMainForm form(folder.Dir());
  // The window's own controller, on the folder it was given.
  QVERIFY(form.Controller());
  QCOMPARE(QString::fromStdString(form.Controller()->IniPath()), folder.Path("Quorvin.INI"));
  QCOMPARE(form.PageControl->currentIndex(), 0);
  QCOMPARE(form.PageControl->count(), 5);  // the four pages and the history
  QCOMPARE(form.cbRememberPass->isChecked(), remember);
  QCOMPARE(form.eUser->text(), remember ? QString("ALICE") : QString());
  QCOMPARE(form.ePass->text(), remember ? QString("s3cret") : QString());
  // Empty entries are skipped, the most recent one is selected.
  QCOMPARE(Items(form.cbBD_Name), QStringList({"/data/b.gdb", "/data/a.gdb"}));
  QCOMPARE(form.cbBD_Name->currentText(), QString("/data/b.gdb"));
  QCOMPARE(form.PanelBD_Back->text(), QString(" /data/old.gbk"));
  QCOMPARE(form.windowTitle(), QString("Quorvin"));
  QCOMPARE(form.width(), TMainForm::FormWidth);
  QCOMPARE(form.maximumWidth(), QWIDGETSIZE_MAX);  // the user may widen it
  // The tray icon is set up but not in the notification area.
  QCOMPARE(form.TrayIcon()->IconIndex(), 0);
  QCOMPARE(form.TrayIcon()->Hint(), QString("Quorvin"));
  QVERIFY(!form.TrayIcon()->TrayIcon().isVisible());
  QCOMPARE(form.Restore1->text(), QString("Восстановить"));
  QCOMPARE(form.Exit1->text(), QString("Закрыть"));
  QVERIFY(boxes.Messages.isEmpty());
}

void TMainFormTest::closingHandsSettingsOver() {
  TScriptedBoxes boxes;
  TProgramFolder folder("[Main]\nDataBase=/keep/this.gdb\n");
  {
    TMainForm form(folder.Dir());
    form.show();
    form.eUser->setText("bob");
    form.ePass->setText("pw");
    form.cbRememberPass->setChecked(true);
    // Typed but never backed up: reaches neither the list nor the file.
    form.cbBD_Name->setEditText("/typed/only.gdb");
    form.eNameBD->setText("/restore/target.gdb");
    QSignalSpy closed(&form, &TMainForm::Closed);
    QVERIFY(form.close());
    QCOMPARE(closed.count(), 1);
    QVERIFY(form.Controller() == nullptr);
    // Nothing reaches the destroyed controller afterwards, and a later
    // start's request does not bring the closed window back.
    form.ShowAtRequest();
    QVERIFY(!form.isVisible());
    RunJob(form, &TMainForm::BitBtn1Click);
    form.Restore1Click();
    form.Exit1Click();
    form.N1Click();
  }
  const QString ini = folder.Ini();
  QVERIFY2(ini.contains("User=BOB"), qPrintable(ini));
  QVERIFY(ini.contains("Pass=pw"));
  QVERIFY(ini.contains("RememberPass=1"));
  QVERIFY(ini.contains("DataBase=/keep/this.gdb"));
  QVERIFY(!ini.contains("/typed/only.gdb"));
  QVERIFY(!ini.contains("/restore/target.gdb"));
}

// A settings file from a Windows machine, its paths and password in
// Windows-1251: a start and a close write every value back byte for byte,
// and a backup of such an entry reaches the job with its own bytes.
void TMainFormTest::untouchedSettingsKeepTheirBytes() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  const QByteArray base = "/data/\xC1\xE0\xE7\xE0.gdb";  // "База"
  const QByteArray names = "Name0=" + base + "\r\nName1=/data/plain.gdb\r\nName2=/\xCE\xF2\xF7\xE5\xF2.gdb\r\n";
  const QByteArray login = "User=\xC0\xE4\xEC\xE8\xED\r\nPass=\xEF\xE0\xF0\xEE\xEB\xFC\r\n";
  folder.WriteBytes("Quorvin.INI", "[Main]\r\n" + login + "[Parameters]\r\nRememberPass=1\r\n[BDNames]\r\n" + names);
  {
    TMainForm form(folder.Dir());
    form.show();
    QVERIFY(form.close());
  }
  QByteArray ini = folder.IniBytes();
  QVERIFY2(ini.contains(names), ini.constData());
  QVERIFY2(ini.contains(login), ini.constData());

  std::string jobFile;
  {
    TMainForm form(folder.Dir());
    form.Controller()->Jobs().JobRunner = [&](TJobRunner& job) {
      jobFile = SourceOf(job.Job()).Get();
      return false;
    };
    form.cbBD_Name->setCurrentIndex(1);
    form.cbBD_Name->setCurrentIndex(0);
    RunJob(form, &TMainForm::BitBtn1Click);
    QCOMPARE(QByteArray::fromStdString(jobFile), base);
    QVERIFY(form.close());
  }
  ini = folder.IniBytes();
  QVERIFY2(ini.contains("DataBase=" + base + "\r\n"), ini.constData());
  QVERIFY2(ini.contains(names), ini.constData());
}

void TMainFormTest::typedNameInOtherCaseMovesEntry() {
  TScriptedBoxes boxes;
  TProgramFolder folder("[BDNames]\nName0=/data/First.gdb\nName1=/data/Second.gdb\nName2=/data/Third.gdb\n");
  TMainForm form(folder.Dir());
  int runs = 0;
  form.Controller()->Jobs().JobRunner = StandInJob(false, &runs);
  form.cbBD_Name->setEditText("/DATA/second.GDB");
  RunJob(form, &TMainForm::BitBtn1Click);
  // Moved, not added, and spelt as the entry was.
  QCOMPARE(Items(form.cbBD_Name), QStringList({"/data/Second.gdb", "/data/First.gdb", "/data/Third.gdb"}));
  QCOMPARE(form.cbBD_Name->currentText(), QString("/data/Second.gdb"));
  QCOMPARE(form.Controller()->Settings().DataBase, std::string("/DATA/second.GDB"));
  // A new name goes on top.
  form.cbBD_Name->setEditText("/data/new.gdb");
  RunJob(form, &TMainForm::BitBtn1Click);
  QCOMPARE(Items(form.cbBD_Name).first(), QString("/data/new.gdb"));
  QCOMPARE(form.cbBD_Name->count(), 4);
  QCOMPARE(runs, 2);
  QCOMPARE(boxes.Messages.count(BackupFailed), 2);
}

void TMainFormTest::emptyNameOpensDialogAndFailsTwice() {
  TScriptedBoxes boxes;
  TProgramFolder folder("[BDNames]\nName0=/data/a.gdb\n");
  TMainForm form(folder.Dir());
  int dialogs = 0;
  QString title;
  form.RunFileDialog = [&](QFileDialog& dialog) {
    ++dialogs;
    title = dialog.windowTitle();
    return false;
  };
  form.cbBD_Name->setEditText("");
  RunJob(form, &TMainForm::BitBtn1Click);
  QCOMPARE(dialogs, 1);
  QCOMPARE(title, QString("Выберите файл БД"));
  QCOMPARE(boxes.Messages, QStringList({"Файл не найден!", BackupFailed}));
  QCOMPARE(Items(form.cbBD_Name), QStringList({"", "/data/a.gdb"}));
  form.close();
  // The empty entry is not saved.
  QVERIFY(folder.Ini().contains("Name0=/data/a.gdb"));
}

void TMainFormTest::onlyElevenNamesReachTheFile() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  {
    TMainForm form(folder.Dir());
    form.Controller()->Jobs().JobRunner = StandInJob(false);
    for (int i = 0; i < 13; ++i) {
      form.cbBD_Name->setEditText(QString("/data/db%1.gdb").arg(i));
      RunJob(form, &TMainForm::BitBtn1Click);
    }
    QCOMPARE(form.cbBD_Name->count(), 13);
    form.close();
  }
  const QString ini = folder.Ini();
  QVERIFY(ini.contains("Name0=/data/db12.gdb"));
  QVERIFY(ini.contains("Name10=/data/db2.gdb"));
  QVERIFY(!ini.contains("Name11"));
  QVERIFY(!ini.contains("db1.gdb"));
}

void TMainFormTest::successfulBackupOffersFileForRestore() {
  TScriptedBoxes boxes;
  TProgramFolder folder("[Parameters]\nAutoBackName=0\n");
  folder.WriteFile("shop.gdb", "db");
  TMainForm form(folder.Dir());
  form.Controller()->Jobs().JobRunner = StandInJob(true);
  form.eUser->setText("SYSDBA");
  form.ePass->setText("pw");
  form.cbBD_Name->setEditText(folder.Path("shop.gdb"));
  RunJob(form, &TMainForm::BitBtn1Click);
  const QString backFile = folder.Path("shop.gbk");
  QVERIFY(QFile::exists(backFile));
  QCOMPARE(QString::fromStdString(form.RestoreSource()), backFile);
  QCOMPARE(form.PanelBD_Back->text(), " " + backFile);
  QCOMPARE(boxes.Messages, QStringList({"Файл " + backFile + " создан."}));
  QCOMPARE(form.Controller()->Settings().User, std::string("SYSDBA"));
  QCOMPARE(form.Controller()->Settings().Pass, std::string("pw"));
  QVERIFY(form.Log->Text().contains("stand-in job"));
}

void TMainFormTest::failedBackupKeepsRestoreSource() {
  TScriptedBoxes boxes;
  TProgramFolder folder("[Main]\nLastBack=/old/one.gbk\n");
  folder.WriteFile("shop.gdb", "db");
  TMainForm form(folder.Dir());
  boxes.HearBeepsOf(form.MessageBoxes());
  form.Controller()->Jobs().JobRunner = StandInJob(false);
  form.cbBD_Name->setEditText(folder.Path("shop.gdb"));
  form.ePass->setText("pw");
  RunJob(form, &TMainForm::BitBtn1Click);
  QCOMPARE(form.PanelBD_Back->text(), QString(" /old/one.gbk"));
  QCOMPARE(form.RestoreSource(), std::string("/old/one.gbk"));
  QCOMPARE(boxes.Messages, QStringList({"Errors were encountered during backup", BackupFailed}));
  QCOMPARE(boxes.Beeps(), 1);
}

void TMainFormTest::restoreAnnouncesTarget() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  folder.WriteFile("shop.gbk", "backup");
  TMainForm form(folder.Dir());
  form.RunFileDialog = [&](QFileDialog& dialog) {
    dialog.selectFile(folder.Path("shop.gbk"));
    return true;
  };
  form.PageControl->setCurrentIndex(1);
  form.sbOpenDataBackClick();
  QCOMPARE(form.PanelBD_Back->text(), " " + folder.Path("shop.gbk"));
  form.Controller()->Jobs().JobRunner = StandInJob(true);
  form.ePass->setText("pw");
  form.eNameBD->setText(folder.Path("restored.gdb"));
  RunJob(form, &TMainForm::bbRestoreClick);
  QCOMPARE(boxes.Messages.last(), "Файл " + folder.Path("restored.gdb") + " создан.");
  // A failed restore: only the controller's own message.
  boxes.Messages.clear();
  form.Controller()->Jobs().JobRunner = StandInJob(false);
  form.eNameBD->setText(folder.Path("other.gdb"));
  RunJob(form, &TMainForm::bbRestoreClick);
  QCOMPARE(boxes.Messages, QStringList({"Errors were encountered during restore"}));
  // Cancelling the choice empties the panel.
  form.RunFileDialog = [](QFileDialog&) { return false; };
  form.sbOpenDataBackClick();
  QCOMPARE(form.PanelBD_Back->text(), QString(" "));
}

// "Из хранилища…" is closed without entry 1's place, saying why; with one, a
// chosen object is never restored over a database that is there.
void TMainFormTest::restoreFromStoreNeedsAPlaceAndANewDatabase() {
  for (bool placed : {false, true}) {
    TScriptedBoxes boxes;
    TProgramFolder folder(
        placed ? "[Main]\nLastBack=s3://stock/nightly/shop.gbk.zst\n[Plan]\nOffsiteUrl=s3://stock/nightly\n"
               : QString());
    folder.WriteFile("shop.gdb", "a database");
    TMainForm form(folder.Dir());
    auto* button = form.findChild<QPushButton*>("bbFromStore");
    QVERIFY(button != nullptr);
    QCOMPARE(button->isEnabled(), placed);
    QCOMPARE(button->toolTip().contains("не задано"), !placed);
    if (!placed) continue;
    form.Controller()->Jobs().JobRunner = StandInJob(true);
    form.ePass->setText("pw");
    form.eNameBD->setText(folder.Path("shop.gdb"));
    RunJob(form, &TMainForm::bbRestoreClick);
    QVERIFY(boxes.Messages.join("\n").contains("уже существует"));
    QCOMPARE(folder.ReadFile("shop.gdb"), QString("a database"));
    QVERIFY(button->isEnabled());
  }
}

// Starts the plan the way the user does: "Расписание", then "Запустить".
static void StartPlan(TMainForm& form) {
  AnswerNextDialog<TPlanForm>([](TPlanForm& dialog) { dialog.bbStartClick(); });
  form.BitBtn3Click();
}

void TMainFormTest::exitFromTrayWritesStopLineTitleBarCloseDoesNot() {
  for (bool fromTray : {true, false}) {
    TScriptedBoxes boxes;
    TProgramFolder folder;
    std::string logFile;
    {
      TMainForm form(folder.Dir());
      form.show();
      logFile = form.Controller()->Log().LogFileName();
      StartPlan(form);
      QVERIFY(form.Controller()->Plan().Running());
      QVERIFY(form.Controller()->Timer().Enabled());
      QCOMPARE(form.TrayIcon()->IconIndex(), 1);
      QVERIFY(form.TrayIcon()->MinimizeToTray());
      QVERIFY(form.TrayIcon()->Enabled());
      QVERIFY(!form.isVisible() || form.isMinimized());
      if (fromTray) {
        form.Exit1Click();
        QCOMPARE(form.TrayIcon()->IconIndex(), 0);
        QVERIFY(!form.TrayIcon()->Enabled());
      } else {
        form.close();
      }
      QVERIFY(form.Controller() == nullptr);
    }
    const QString log = folder.ReadFile(QString::fromStdString(logFile));
    QVERIFY2(log.contains("Сервис запущен."), qPrintable(log));
    QCOMPARE(log.contains("Сервис остановлен."), fromTray);
  }
}

void TMainFormTest::restoreFromTrayStopsPlan() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  TMainForm form(folder.Dir());
  form.show();
  StartPlan(form);
  QVERIFY(form.Controller()->Plan().Running());
  // The icon's double-click is Restore1Click.
  QVERIFY(form.TrayIcon()->OnDblClick);
  form.TrayIcon()->OnDblClick(form.TrayIcon());
  QVERIFY(!form.Controller()->Plan().Running());
  QVERIFY(!form.Controller()->Timer().Enabled());
  QCOMPARE(form.TrayIcon()->IconIndex(), 0);
  QVERIFY(!form.TrayIcon()->IconVisible());
  QVERIFY(!form.TrayIcon()->MinimizeToTray());
  QVERIFY(form.isVisible());
  QVERIFY(!form.isMinimized());
  // "Сохранить" in the schedule dialog does not start the plan.
  AnswerNextDialog<TPlanForm>([](TPlanForm& dialog) { dialog.bbOkClick(); });
  form.BitBtn3Click();
  QVERIFY(!form.Controller()->Plan().Running());
  QCOMPARE(form.TrayIcon()->IconIndex(), 0);
}

void TMainFormTest::savingPaneAddsTxt() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  TMainForm form(folder.Dir());
  // As a job writes them: an empty line shows as a single blank.
  TJobOutput output(form.Log);
  output.AddPaneLine("first line");
  output.AddPaneLine("");
  output.AddPaneLine("третья строка");
  QString proposed;
  QString startFolder;
  form.OpenSaveDialog = [&](QFileDialog& dialog) {
    proposed = dialog.selectedFiles().value(0);
    startFolder = dialog.directory().absolutePath();
    dialog.setDefaultSuffix(QString());  // the window itself must add ".txt"
    dialog.selectFile(folder.Path("mylog"));
    static_cast<QDialog&>(dialog).accept();
  };
  form.N1Click();
  QVERIFY2(QFileInfo(proposed).fileName().startsWith("log_"), qPrintable(proposed));
  QVERIFY(QRegularExpression("^log_\\d\\d_\\d\\d_\\d{4}(\\.txt)?$").match(QFileInfo(proposed).fileName()).hasMatch());
  QCOMPARE(startFolder, QDir(QString::fromStdString(form.Controller()->ProgramDir())).absolutePath());
  QCOMPARE(folder.ReadFile("mylog.txt"), QString("first line\n \nтретья строка\n"));
  QVERIFY(!QFile::exists(folder.Path("mylog")));
  // A name with an extension is kept; a folder that cannot be written is
  // passed over in silence.
  form.OpenSaveDialog = [&](QFileDialog& dialog) {
    dialog.selectFile(folder.Path("pane.log"));
    static_cast<QDialog&>(dialog).accept();
  };
  form.N1Click();
  QVERIFY(QFile::exists(folder.Path("pane.log")));
  form.OpenSaveDialog = [&](QFileDialog& dialog) {
    dialog.selectFile("/nonexistent-folder/x.txt");
    static_cast<QDialog&>(dialog).accept();
  };
  form.N1Click();
  QVERIFY(boxes.Messages.isEmpty());
  form.N2Click();
  QVERIFY(form.Log->Text().isEmpty());
}

void TMainFormTest::actionsAndClosingRefusedDuringJob() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  folder.WriteFile("shop.gdb", "db");
  TMainForm form(folder.Dir());
  boxes.HearBeepsOf(form.MessageBoxes());
  form.show();
  int runs = 0;
  int dialogsOpened = 0;
  form.RunFileDialog = [&](QFileDialog&) {
    ++dialogsOpened;
    return false;
  };
  bool closedMidJob = true;
  bool buttonsDisabled = false;
  form.Controller()->Jobs().JobRunner = [&](TJobRunner& job) {
    ++runs;
    // Everything the user could click while the job runs on its own thread.
    form.Controller()->RunOnFrontEnd([&] {
      buttonsDisabled = !form.BitBtn1->isEnabled() && !form.bbRestore->isEnabled() && !form.BitBtn3->isEnabled();
      form.BitBtn1Click();
      form.bbRestoreClick();
      form.bbParametersClick();
      form.BitBtn3Click();
      form.sbOpenDataBackClick();
      form.BitBtn1->click();
      closedMidJob = form.close();
      // Its notice answered meanwhile, the next refusal opens a box of its
      // own (the same notice still open would only come forward).
      QCoreApplication::processEvents();
      form.Exit1Click();
    });
    QFile file(QString::fromStdString(TargetOf(job.Job()).Get()));
    file.open(QIODevice::WriteOnly);
    return true;
  };
  form.ePass->setText("pw");
  form.cbBD_Name->setEditText(folder.Path("shop.gdb"));
  RunJob(form, &TMainForm::BitBtn1Click);
  QCOMPARE(runs, 1);
  QCOMPARE(dialogsOpened, 0);
  QVERIFY(buttonsDisabled);
  QVERIFY(!closedMidJob);
  QVERIFY(form.Controller() != nullptr);
  QVERIFY(form.isVisible());
  QVERIFY(boxes.Beeps() >= 5);
  QCOMPARE(boxes.Messages.filter("Дождитесь его окончания").size(), 2);
  QVERIFY(boxes.Messages.last().startsWith("Файл "));
  QVERIFY(form.BitBtn1->isEnabled());
  // After the job everything works again, closing included.
  QVERIFY(form.close());
  QVERIFY(form.Controller() == nullptr);
}

void TMainFormTest::parametersOpenOnPageOfActiveTab() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  TMainForm form(folder.Dir());
  for (int tab : {0, 1}) {
    int page = -1;
    QString protocol;
    AnswerNextDialog<TParamsForm>([&](TParamsForm& dialog) {
      page = dialog.Notebook->currentIndex();
      protocol = dialog.brProtocol->currentText();
      dialog.bbCloseClick();
    });
    form.PageControl->setCurrentIndex(tab);
    (tab == 0 ? form.bbParameters : form.BitBtn4)->click();
    QCOMPARE(page, tab);
    // A first start (no settings file): TCP is chosen.
    QCOMPARE(protocol, QString("TCP"));
  }
  // Confirmed ("Сохранить"), the choice is in the file at once: a crash
  // later costs none of it; closed, nothing is written.
  QVERIFY(!folder.Ini().contains("Protocol="));
  AnswerNextDialog<TParamsForm>([](TParamsForm& dialog) {
    dialog.brProtocol->setCurrentIndex(3);
    dialog.bbSaveClick();
  });
  form.bbParameters->click();
  QVERIFY(folder.Ini().contains("Protocol=3"));
}

void TMainFormTest::userUpperCasedPasswordStarred() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  TMainForm form(folder.Dir());
  form.show();
  form.PageControl->setCurrentIndex(2);
  form.eUser->setFocus();
  QTest::keyClicks(form.eUser, "sysdba");
  QCOMPARE(form.eUser->text(), QString("SYSDBA"));
  QTest::keyClicks(form.ePass, "abc");
  QCOMPARE(form.ePass->text(), QString("abc"));
  QCOMPARE(form.ePass->echoMode(), QLineEdit::Password);
  QCOMPARE(form.ePass->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, form.ePass), int('*'));
  form.StoreLogin();
  QCOMPARE(form.Controller()->Settings().User, std::string("SYSDBA"));
  QCOMPARE(form.Controller()->Settings().Pass, std::string("abc"));
}

void TMainFormTest::aboutLabelsOpenAddresses() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  TMainForm form(folder.Dir());
  QList<QUrl> opened;
  form.OpenUrl = [&](const QUrl& url) { opened << url; };
  form.show();
  form.PageControl->setCurrentIndex(3);
  QCOMPARE(form.Label6->text(), QString("Quorvin  v1.0 от 15.12.2005"));
  QVERIFY(form.Label6->font().bold());
  QVERIFY(!form.LabelSite->text().contains("://"));
  QTest::mouseClick(form.LabelSite, Qt::RightButton);
  QTest::mouseClick(form.LabelMail, Qt::LeftButton);
  QCOMPARE(opened.size(), 2);
  QCOMPARE(opened[0].toString(), "http://" + form.LabelSite->text());
  QCOMPARE(opened[1].toString(), "mailto:" + form.LabelMail->text());
}

// Beside the executable while its folder takes files, else the XDG folders;
// saving the pane then starts in the home folder.
void TMainFormTest::aboutPageShowsWhereFilesLive() {
  TScriptedBoxes boxes;
  QTemporaryDir home;
  const QByteArray savedHome = qgetenv("HOME");
  qputenv("HOME", home.path().toUtf8());
  qputenv("XDG_CONFIG_HOME", (home.path() + "/cfg").toUtf8());
  qunsetenv("XDG_STATE_HOME");
  TProgramFolder folder;
  for (const bool installed : {false, true}) {
    TMainForm form(installed ? std::string("/usr/lib/quorvin-test-none/") : folder.Dir());
    const QString settings = installed ? home.path() + "/cfg/Quorvin/Quorvin.INI" : folder.Path("Quorvin.INI");
    const QString logs = installed ? home.path() + "/.local/state/Quorvin/log" : folder.Path("log");
    QCOMPARE(form.LabelSettingsPath->text(), "Файл настроек: " + settings);
    QCOMPARE(form.LabelLogPath->text(), "Папка журналов: " + logs);
    QCOMPARE(form.LabelSettingsPath->parentWidget(), form.TabSheet7);
    QString startFolder;
    form.OpenSaveDialog = [&](QFileDialog& dialog) { startFolder = dialog.directory().absolutePath(); };
    form.N1Click();
    QCOMPARE(startFolder, QDir(installed ? home.path() : QString::fromStdString(folder.Dir())).absolutePath());
    QVERIFY(form.close());
    QVERIFY(QFile::exists(settings));
  }
  qputenv("HOME", savedHome);
  qunsetenv("XDG_CONFIG_HOME");
}

void TMainFormTest::logPaneScrollBarFromFirstJob() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  TMainForm form(folder.Dir());
  QCOMPARE(form.Log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  QVERIFY(form.Log->isReadOnly());
  QCOMPARE(form.Log->font().pointSize(), 8);
  QVERIFY(QFontInfo(form.Log->font()).fixedPitch());
  form.Log->AppendLine("left from before");
  form.Controller()->Jobs().JobRunner = StandInJob(false);
  form.cbBD_Name->setEditText("/none.gdb");
  form.ePass->setText("pw");
  RunJob(form, &TMainForm::BitBtn1Click);
  QCOMPARE(form.Log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  QVERIFY(!form.Log->Text().contains("left from before"));
  // The pane's menu carries its two items.
  QCOMPARE(form.pmMenu->actions().size(), 2);
  QCOMPARE(form.N1->text(), QString("Сохранить как ..."));
  QCOMPARE(form.N2->text(), QString("Очистить"));
}

void TMainFormTest::laterStartBringsWindowBack() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  TMainForm form(folder.Dir());
  form.show();
  StartPlan(form);
  QVERIFY(form.Controller()->Plan().Running());
  form.ShowAtRequest();
  QVERIFY(form.isVisible());
  QVERIFY(!form.isMinimized());
  QVERIFY(!form.Controller()->Plan().Running());
  QVERIFY(!form.TrayIcon()->IconVisible());
}

// No notification area: the plan waits in a minimised window, and the user
// bringing the window back stops it as the icon's "Восстановить" would.
void TMainFormTest::withoutTrayUnminimisingStopsPlan() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  TMainForm form(folder.Dir());
  form.TrayIcon()->TrayAvailable = [] { return false; };
  form.show();
  StartPlan(form);
  QVERIFY(form.Controller()->Plan().Running());
  QVERIFY(form.isMinimized());
  QVERIFY(form.isVisible());
  // A state change that keeps it minimised changes nothing.
  form.setWindowState(form.windowState() | Qt::WindowMaximized);
  QTest::qWait(20);
  QVERIFY(form.Controller()->Plan().Running());
  form.showNormal();
  QTRY_VERIFY(!form.Controller()->Plan().Running());
  QCOMPARE(form.TrayIcon()->IconIndex(), 0);
  QVERIFY(!form.TrayIcon()->MinimizeToTray());
  QVERIFY(!form.isMinimized());
  // Minimised by the user with the plan stopped: nothing happens on return.
  form.showMinimized();
  form.showNormal();
  QTest::qWait(20);
  QVERIFY(!form.Controller()->Plan().Running());
  QVERIFY(boxes.Messages.isEmpty());
}

// The session ends while the window is idle (hidden with the plan running):
// the settings file is written as by a close from the title bar.
void TMainFormTest::sessionEndClosesLikeAClose() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  std::string logFile;
  {
    TMainForm form(folder.Dir());
    form.show();
    logFile = form.Controller()->Log().LogFileName();
    StartPlan(form);
    form.eUser->setText("carol");
    form.cbRememberPass->setChecked(true);
    QSignalSpy closed(&form, &TMainForm::Closed);
    form.RequestSessionClose();
    QTRY_COMPARE(closed.count(), 1);
    QVERIFY(form.Controller() == nullptr);
    QVERIFY(form.SessionCloseRequested());
  }
  const QString ini = folder.Ini();
  QVERIFY2(ini.contains("User=CAROL"), qPrintable(ini));
  QVERIFY(ini.contains("RememberPass=1"));
  // As a plain close: no stop line.
  QVERIFY(!folder.ReadFile(QString::fromStdString(logFile)).contains("Сервис остановлен."));
  QVERIFY(boxes.Messages.isEmpty());
}

// The session ends mid-job: the job runs to its end with its controller,
// then the window closes by itself, without the "wait" message.
void TMainFormTest::sessionEndDuringJobClosesAfterIt() {
  TScriptedBoxes boxes;
  TProgramFolder folder("[Parameters]\nAutoBackName=0\n");
  folder.WriteFile("shop.gdb", "db");
  TMainForm form(folder.Dir());
  form.show();
  QSignalSpy closed(&form, &TMainForm::Closed);
  bool controllerKept = false;
  form.Controller()->Jobs().JobRunner = [&](TJobRunner& job) {
    form.Controller()->RunOnFrontEnd([&] {
      form.RequestSessionClose();
      // Many turns of the close timer while the job runs.
      QTest::qWait(300);
      controllerKept = form.Controller() != nullptr && closed.isEmpty() && form.isVisible();
    });
    QFile file(QString::fromStdString(TargetOf(job.Job()).Get()));
    file.open(QIODevice::WriteOnly);
    file.write("x");
    return true;
  };
  form.ePass->setText("pw");
  form.cbBD_Name->setEditText(folder.Path("shop.gdb"));
  RunJob(form, &TMainForm::BitBtn1Click);
  QVERIFY(controllerKept);
  QVERIFY(QFile::exists(folder.Path("shop.gbk")));
  QTRY_COMPARE(closed.count(), 1);
  QVERIFY(form.Controller() == nullptr);
  QVERIFY2(folder.Ini().contains("Name0=" + folder.Path("shop.gdb")), qPrintable(folder.Ini()));
  QCOMPARE(boxes.Messages, QStringList({"Файл " + folder.Path("shop.gbk") + " создан."}));
}

// Nobody is left to answer: an open question gets "No" (the job is not
// started), an open dialog "Закрыть", and then the window closes.
void TMainFormTest::sessionEndAnswersOpenQuestionsNo() {
  TProgramFolder folder;
  folder.WriteFile("shop.gdb", "db");
  TMainForm form(folder.Dir());
  form.show();
  QSignalSpy closed(&form, &TMainForm::Closed);
  int runs = 0;
  form.Controller()->Jobs().JobRunner = StandInJob(true, &runs);
  // SYSDBA without a password: the controller asks whether to go on.
  form.eUser->setText("SYSDBA");
  form.ePass->clear();
  form.cbBD_Name->setEditText(folder.Path("shop.gdb"));
  QStringList seen;
  auto* poll = new QTimer(&form);
  QObject::connect(poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    auto* box = qobject_cast<QMessageBox*>(modal);
    const QString text = box ? box->text() : modal->metaObject()->className();
    if (seen.isEmpty() || seen.last() != text) seen << text;
    if (!form.SessionCloseRequested()) form.RequestSessionClose();
  });
  poll->start(5);
  RunJob(form, &TMainForm::BitBtn1Click);
  QTRY_COMPARE(closed.count(), 1);
  poll->stop();
  QCOMPARE(runs, 0);
  QVERIFY(!QFile::exists(folder.Path("shop.gbk")));
  // The question, then the window's failure notice, both dismissed.
  QCOMPARE(seen, QStringList({"Using administrator log-in requires a password.\nContinue anyway?", BackupFailed}));
  QVERIFY(form.Controller() == nullptr);
  QVERIFY(folder.Ini().contains("Name0=" + folder.Path("shop.gdb")));
}

// "Запустить" takes the database named on the backup page, which the dialog
// shows; the plan running at the close resumes at the next start when asked.
void TMainFormTest::planTakesTheDatabaseShownAndResumesAtStart() {
  TScriptedBoxes boxes;
  TProgramFolder folder(
      "[Main]\nDataBase=/data/old.fdb\n[BDNames]\nName0=/data/old.fdb\nName1=/data/shop.fdb\n"
      "[Plan]\nResumePlan=1\n");
  {
    TMainForm form(folder.Dir());
    QVERIFY(!form.ResumePlanAtStart());
    form.cbBD_Name->setEditText("/data/SHOP.fdb");
    QString shown;
    AnswerNextDialog<TPlanForm>([&](TPlanForm& dialog) {
      shown = dialog.eDataBase->text();
      dialog.bbStartClick();
    });
    form.BitBtn3Click();
    QCOMPARE(shown, QString("/data/SHOP.fdb"));
    QCOMPARE(form.Controller()->Settings().DataBase, std::string("/data/SHOP.fdb"));
    QCOMPARE(Items(form.cbBD_Name), QStringList({"/data/shop.fdb", "/data/old.fdb"}));
    QVERIFY(form.Controller()->Plan().Running());
    form.Exit1Click();
  }
  // Resumed at the next start (stopping it is the tray script's part); no
  // weekday is on, and the tool tip says so.
  TMainForm form(folder.Dir());
  QVERIFY(form.ResumePlanAtStart() && form.Controller()->Plan().Running());
  QCOMPARE(form.TrayIcon()->IconIndex(), 1);
  QCOMPARE(form.TrayIcon()->Hint(), QString("Quorvin\nРасписание запущено, копий по нему не предстоит"));
  form.close();
}

void TMainFormTest::openDialogsOfferFdbAndStartBesideTheFile() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  QDir(folder.Path("")).mkpath("data/backups");
  TMainForm form(folder.Dir());
  QStringList filters;
  QString startedIn;
  const auto record = [&](QFileDialog& dialog) {
    filters = dialog.nameFilters();
    startedIn = dialog.directory().absolutePath();
    return false;
  };
  form.RunFileDialog = record;
  form.cbBD_Name->setEditText(folder.Path("data/shop.fdb"));
  form.sbOpenDataBaseClick();
  QCOMPARE(filters, QStringList({"Файл БД (*.fdb *.FDB *.gdb *.GDB)", "Все файлы (*)"}));
  QCOMPARE(startedIn, folder.Path("data"));
  // The restore page: beside the backup file, else beside the database.
  form.cbBD_Name->setEditText(folder.Path("data/shop.fdb"));
  form.sbOpenDataBackClick();
  QCOMPARE(startedIn, folder.Path("data"));
  // A backup file chosen once: the next choice starts beside it.
  form.RunFileDialog = [&](QFileDialog& dialog) {
    dialog.selectFile(folder.Path("data/backups/shop.gbk"));
    return true;
  };
  form.sbOpenDataBackClick();
  form.RunFileDialog = record;
  form.sbOpenDataBackClick();
  QCOMPARE(filters, QStringList({"Файл (*.gbk *.GBK *.gbk.zst *.GBK.ZST)", "Инкрементная копия (*.nbk *.NBK)",
                                 "Все файлы (*)"}));
  QCOMPARE(startedIn, folder.Path("data/backups"));
}

// The status line through a backup, twice (the second has a figure): the job
// and its figure while it runs, a notice beside them while its box is open,
// the plan's state once the job has ended; the bar shows the line's figure.
void TMainFormTest::statusLineTellsTheStateThroughAJob() {
  TScriptedBoxes boxes;
  TProgramFolder folder("[Parameters]\nAutoBackName=0\n");
  folder.WriteFile("a.fdb", "LIVE");
  TMainForm form(folder.Dir());
  QVERIFY(form.StatusState->text().contains(PlanStoppedText));
  QStringList lines;
  QList<int> figures;  // the line's, the bar's
  form.Controller()->Jobs().JobRunner = [&](TJobRunner& job) {
    for (int i = 0; i < 3; ++i) {
      job.OnOutputLine("line");
      form.Controller()->RunOnFrontEnd([&] {
        if (i == 1) form.MessageBoxes().ShowMessage("Занято");
        // Answered by now, or answered here.
        if (i == 2 && !form.MessageBoxes().OpenNotices().isEmpty()) form.MessageBoxes().OpenNotices().last()->accept();
        form.RefreshState();
        lines << form.StatusState->text();
        const QRegularExpressionMatch figure = QRegularExpression("(\\d+) %").match(lines.last());
        if (figure.hasMatch()) figures << figure.captured(1).toInt() << form.pbJobProgress->value();
      });
    }
    QFile file(QString::fromStdString(TargetOf(job.Job()).Get()));
    return file.open(QIODevice::WriteOnly) && file.write("GBK") == 3;
  };
  form.cbBD_Name->setEditText(folder.Path("a.fdb"));
  RunJob(form, &TMainForm::BitBtn1Click);
  RunJob(form, &TMainForm::BitBtn1Click);
  QCOMPARE(lines.size(), 6);
  QCOMPARE(figures.size(), 6);
  for (int i = 0; i < 6; i += 2) QCOMPARE(figures[i], figures[i + 1]);
  for (int i = 0; i < 6; ++i) {
    QVERIFY2(lines[i].startsWith("Идёт резервное копирование: " + folder.Path("a.fdb")), qPrintable(lines[i]));
    QCOMPARE(lines[i].contains("Занято"), i % 3 == 1);
    QCOMPARE(lines[i].contains(" %, осталось "), i >= 3);
  }
  // A notice still open after its job no longer stands on the line.
  form.MessageBoxes().OnNotice("Занято");
  form.RefreshState();
  QVERIFY(!form.StatusState->text().contains("Занято"));
  QVERIFY(form.StatusState->text().contains(PlanStoppedText));
  QVERIFY(!form.pbJobProgress->isVisibleTo(&form));
  QCOMPARE(form.StatusBar1->currentMessage(), QString());
}

// A backup with its copy here and its verification, twice: the first run has
// no figure (a busy bar, each phase named), the second one figure that only
// grows from phase to phase; the success box says what was done.
void TMainFormTest::progressFollowsTheJobsPhases() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  QVERIFY(QDir().mkpath(folder.Path("copies")));
  folder.WriteFile("Quorvin.INI",
                   "[Parameters]\nAutoBackName=0\nVerifyBackup=1\nLocalCopyDir=" + folder.Path("copies") + "\n");
  folder.WriteFile("a.fdb", "LIVE");
  TMainForm form(folder.Dir());
  QStringList texts;
  QList<int> bars;
  // What the window shows, looked at on its own thread.
  const auto look = [&] {
    form.Controller()->RunOnFrontEnd([&] {
      form.RefreshState();
      texts << form.StatusState->text().section("   |   ", 0, 0);
      bars << (form.pbJobProgress->maximum() == 0 ? -1 : form.pbJobProgress->value());
    });
  };
  const QString copyFile = folder.Path("copies/a.fdb.gbk.zst");
  form.Controller()->Jobs().JobRunner = [&](TJobRunner& job) {
    for (int i = 0; i < 2; ++i) {
      job.OnOutputLine("line");
      look();
    }
    if (job.Job().Name.Get() == "VERIFY BACKUP") return true;
    QFile backup(QString::fromStdString(TargetOf(job.Job()).Get()));
    if (!backup.open(QIODevice::WriteOnly) || backup.write("GBK") != 3) return false;
    backup.close();
    job.OnLocalCopyStarting();
    look();
    folder.WriteFile("copies/a.fdb.gbk.zst", "ZST");
    TLocalCopyInfo copy;
    copy.File = copyFile.toStdString();
    job.OnLocalCopyMade(copy);
    return true;
  };
  form.cbBD_Name->setEditText(folder.Path("a.fdb"));
  RunJob(form, &TMainForm::BitBtn1Click);
  const QStringList phases{"этап 1 из 3, копирование на сервере", "этап 1 из 3, копирование на сервере",
                           "этап 2 из 3, копия на этом компьютере", "этап 3 из 3, проверка восстановлением",
                           "этап 3 из 3, проверка восстановлением"};
  QCOMPARE(bars, QList<int>({-1, -1, -1, -1, -1}));
  for (int i = 0; i < 5; ++i) QVERIFY2(texts[i].endsWith(phases[i] + ": оценки пока нет"), qPrintable(texts[i]));
  QCOMPARE(boxes.Messages.last(),
           "Файл " + folder.Path("a.fdb.gbk") +
               " создан.\nПроверена пробным восстановлением.\nКопия на этом компьютере: " + copyFile);
  texts.clear();
  bars.clear();
  RunJob(form, &TMainForm::BitBtn1Click);
  QCOMPARE(bars.size(), 5);
  for (int i = 0; i < 5; ++i) {
    QVERIFY2(texts[i].contains(phases[i] + QString(": %1 %").arg(bars[i])), qPrintable(texts[i]));
    if (i > 0) QVERIFY(bars[i] >= bars[i - 1]);
  }
  QVERIFY(bars.first() < bars.last());
}

// A compressed copy that does not match its checksum: refused in Russian
// before anyone is asked about users, with its reason in the operation log;
// nothing runs.
void TMainFormTest::damagedCopyIsNamedBeforeAnyQuestion() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  folder.WriteFile("Quorvin.INI", "[Main]\nLastBack=" + folder.Path("a.gbk.zst") + "\n");
  folder.WriteBytes("a.gbk.zst", "not what was written");
  folder.WriteFile("a.gbk.zst.sha256", QString(64, 'a') + "  a.gbk.zst\n");
  TMainForm form(folder.Dir());
  int runs = 0;
  form.Controller()->Jobs().JobRunner = StandInJob(true, &runs);
  form.eNameBD->setText(folder.Path("new.fdb"));
  RunJob(form, &TMainForm::bbRestoreClick);
  QCOMPARE(runs, 0);
  QVERIFY2(boxes.Questions.isEmpty(), qPrintable(boxes.Questions.join(" | ")));
  QCOMPARE(boxes.Messages.size(), 1);
  QVERIFY2(boxes.Messages[0].startsWith("Копия на этом компьютере повреждена") &&
               boxes.Messages[0].contains(folder.Path("a.gbk.zst")),
           qPrintable(boxes.Messages[0]));
  const QString log = folder.ReadFile(QString::fromStdString(form.Controller()->Log().LogFileName()));
  QVERIFY2(log.contains("Восстановление отменено. Копия на этом компьютере повреждена") &&
               log.contains(" Причина: The copy " + folder.Path("a.gbk.zst") + " does not match its checksum file"),
           qPrintable(log));
}

// At the default size every label of "О программе" is whole; a window the
// user widened keeps its width through the history page.
void TMainFormTest::aboutPageFitsAndTheWidthIsKept() {
  TProgramFolder folder("");
  TMainForm form(folder.Dir());
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  form.PageControl->setCurrentIndex(3);
  QCoreApplication::processEvents();
  const QRect page = form.TabSheet7->rect();
  const QList<QLabel*> labels = form.TabSheet7->findChildren<QLabel*>();
  QCOMPARE(labels.size(), 7);
  // As low as the other pages were: their buttons stay where they were.
  QCOMPARE(form.PageControl->height(), TMainForm::TabControlHeight);
  for (QLabel* label : labels) {
    const QString what =
        label->text() +
        QString(" at %1,%2 %3x%4").arg(label->x()).arg(label->y()).arg(label->width()).arg(label->height());
    QVERIFY2(page.contains(label->geometry()), qPrintable(what));
    const int need = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
    QVERIFY2(label->height() >= need, qPrintable(what));
    QVERIFY2(label->wordWrap() || label->width() >= label->sizeHint().width(), qPrintable(what));
  }
  form.resize(800, form.height());
  form.PageControl->setCurrentIndex(TMainForm::HistoryTab);
  form.PageControl->setCurrentIndex(3);
  QCOMPARE(form.width(), 800);
}

// Qt's own words, the file dialog's and the standard buttons', in Russian.
void TMainFormTest::qtSpeaksRussianInDialogs() {
  QVERIFY(InstallQtTranslations(*qApp));
  TProgramFolder folder("");
  TMainForm form(folder.Dir());
  QStringList words;
  form.RunFileDialog = [&](QFileDialog& dialog) {
    for (QAbstractButton* button : dialog.findChild<QDialogButtonBox*>()->buttons())
      words << button->text().remove('&');
    return false;
  };
  form.sbOpenDataBackClick();
  QMessageBox question(QMessageBox::Question, "", "", QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  for (auto which : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel})
    words << question.button(which)->text().remove('&');
  QCOMPARE(words, QStringList({"Открыть", "Отмена", "Да", "Нет", "Отмена"}));
  for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
    QCoreApplication::removeTranslator(translator);
    delete translator;
  }
}

// A plan of three databases, hourly, the second failing at 04:00 and made at
// 05:00, each backup 14 seconds: after each slot the tray icon, its tool tip
// and the status line keep the failure, by its database with its reason; a
// later success (another's, or its own) hides nothing. A restart keeps it;
// the history page seen, it goes, and a restart does not bring it back; a
// failure the service makes meanwhile shows.
void TMainFormTest::threeDatabasesOneFailingNothingHidden() {
  TScriptedBoxes boxes;
  TProgramFolder folder;
  const QString a = folder.Path("a.fdb"), b = folder.Path("b.fdb"), c = folder.Path("c.fdb");
  const QString hourly = "Day1Back=1\nNightPeriodBack=3\n";  // Mondays, hourly all day
  folder.WriteFile("Quorvin.INI", "[Main]\nDataBase=" + a + "\n[Parameters]\nProtocol=3\n[Plan]\n" + hourly +
                                      "DataBase=" + a + "\n[Plan2]\nDataBase=" + b + "\n" + hourly +
                                      "[Plan3]\nDataBase=" + c + "\n" + hourly);
  for (const QString& db : {a, b, c}) folder.WriteFile(db.section('/', -1), "LIVE");
  const TDateTime monday = EncodeDate(2026, 12, 7);
  TFakeClock clock(monday + EncodeTime(3, 59, 58, 0));
  auto form = std::make_unique<TMainForm>(folder.Dir());
  form->TrayIcon()->TrayAvailable = [] { return true; };
  QStringList order;
  form->Controller()->Jobs().JobRunner = [&](TJobRunner& job) {
    clock.Advance(14.0 / 86400);
    const QString database = QString::fromStdString(SourceOf(job.Job()).Get());
    order << database.section('/', -1);
    const bool made = !(database == b && DecodeDateTime(clock.Now()).Hour == 4);
    if (made) folder.WriteFile(QString::fromStdString(TargetOf(job.Job()).Get()).section('/', -1), "GBK");
    return made;
  };
  StartPlan(*form);
  QVERIFY(form->Controller()->Plan().Running());
  QCOMPARE(form->TrayIcon()->IconIndex(), int(PlanRunningPicture));
  std::string reason;
  const auto slot = [&](int hour) {
    clock.Set(monday + EncodeTime(hour, 0, 2, 0));
    form->Controller()->Timer().Tick();
    WaitForJobs(*form);
    for (const THistoryRecord& r : ReadHistory(form->Controller()->HistoryPath()))
      if (!r.Succeeded()) reason = r.Reason;
  };
  const QString failure = "Не созданы копии: " + b + " — 07.12.2026 в 04:00: ";
  const auto checkFailureShown = [&] {
    QCOMPARE(form->TrayIcon()->IconIndex(), int(AttentionPicture));
    const QString tip = TrayTipText(form->TrayIcon()->Hint(), true);
    QVERIFY2(tip.startsWith("Quorvin\nНЕ создана: b.fdb 07.12 в 04:00 — "), qPrintable(tip));
    QVERIFY2(form->StatusState->text().startsWith(failure + QString::fromStdString(reason)),
             qPrintable(form->StatusState->text()));
  };
  slot(4);
  QCOMPARE(order, QStringList({"a.fdb", "b.fdb", "c.fdb"}));
  QVERIFY(!reason.empty());
  checkFailureShown();
  const QString status = form->StatusState->text();
  QVERIFY2(status.endsWith("Последние копии: " + a + " — 07.12.2026 в 04:00 создана; " + b +
                           " — 07.12.2026 в 04:00 НЕ создана; " + c + " — 07.12.2026 в 04:00 создана"),
           qPrintable(status));
  slot(5);
  QCOMPARE(order.size(), 6);
  checkFailureShown();
  QVERIFY2(form->StatusState->text().contains(b + " — 07.12.2026 в 05:00 создана"), qPrintable(status));
  QVERIFY(form->StatusState->toolTip().startsWith(failure));

  // Ended from the icon, started again: still not seen.
  form->Exit1Click();
  form = std::make_unique<TMainForm>(folder.Dir());
  QVERIFY2(form->StatusState->text().startsWith(failure), qPrintable(form->StatusState->text()));
  // Shown, the line is cut at the window's edge, whole in its tool tip.
  form->show();
  QVERIFY(QTest::qWaitForWindowExposed(form.get()));
  const TElidedLabel& line = *form->StatusPanel().State;
  QVERIFY2(line.ShownText().startsWith(failure) && line.ShownText().endsWith("…"), qPrintable(line.ShownText()));
  QVERIFY(line.fontMetrics().horizontalAdvance(line.ShownText()) <= line.width());
  QVERIFY(line.toolTip().startsWith(failure) && line.toolTip().endsWith(" создана"));
  // The history page, shown: seen, also after the next start.
  form->PageControl->setCurrentIndex(TMainForm::HistoryTab);
  QVERIFY2(!form->StatusState->text().contains("Не созданы"), qPrintable(form->StatusState->text()));
  QVERIFY(folder.Ini().contains("[History]\nSeenUntil=" + QString::fromStdString(FormatIso8601(clock.Now()))));
  form->close();
  form = std::make_unique<TMainForm>(folder.Dir());
  QVERIFY2(!form->StatusState->text().contains("Не созданы"), qPrintable(form->StatusState->text()));
  // The service's plan backup fails meanwhile: the window tells at its next
  // look, and the icon of a plan started here shows it.
  THistoryRecord service;
  service.Start = service.End = FormatIso8601(monday + EncodeTime(6, 0, 30, 0));
  service.Kind = HistoryKindBackup;
  service.By = HistoryByPlan;
  service.Database = c.toStdString();
  service.Outcome = HistoryFailure;
  service.Reason = "I/O error during write";
  QVERIFY(AppendHistory(form->Controller()->HistoryPath(), service));
  form->RefreshState();
  QVERIFY2(
      form->StatusState->text().startsWith("Не созданы копии: " + c + " — 07.12.2026 в 06:00: I/O error during write"),
      qPrintable(form->StatusState->text()));
  form->Controller()->Jobs().JobRunner = StandInJob(true);
  StartPlan(*form);
  QCOMPARE(form->TrayIcon()->IconIndex(), int(AttentionPicture));
  form->Exit1Click();
}

QTEST_MAIN(TMainFormTest)
// A failed verification that the history keeps with the program's English
// reason (as the service wrote it): the window says the reason in Russian,
// the server's own words in it as they are.
void TMainFormTest::theProgramsOwnReasonIsShownInRussian() {
  TProgramFolder folder;
  const QString a = folder.Path("a.fdb");
  folder.WriteFile("a.fdb", "LIVE");
  folder.WriteFile("Quorvin.INI", "[Main]\nDataBase=" + a + "\n[Plan]\nDay1Back=1\nDataBase=" + a + "\n");
  THistoryRecord failed;
  failed.Start = FormatIso8601(EncodeDate(2026, 12, 7) + EncodeTime(4, 0, 0, 0));
  failed.End = FormatIso8601(EncodeDate(2026, 12, 7) + EncodeTime(4, 1, 0, 0));
  failed.Kind = HistoryKindBackup;
  failed.By = HistoryByPlan;
  failed.Database = a.toStdString();
  failed.File = folder.Path("a_07_12_26_04_00.gbk").toStdString();
  failed.Outcome = HistoryFailure;
  failed.Reason = "Verification by test restore failed: the test restore failed: I/O error during \"open\"";
  folder.WriteFile("Quorvin.history.jsonl", QString::fromStdString(HistoryLine(failed) + "\n"));
  TMainForm form(folder.Dir());
  const QString status = form.StatusState->text();
  QVERIFY2(status.contains("Проверка восстановлением не пройдена: пробное восстановление не удалось: I/O error during "
                           "\"open\""),
           qPrintable(status));
  QVERIFY2(!status.contains("Verification by"), qPrintable(status));
}

#include "main_form_test.moc"
