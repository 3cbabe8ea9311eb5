// The main window against the real embedded engine (protocol Local): a backup
// and a restore started with the window's buttons, the pane filling line by
// line while the window keeps repainting. Headless.

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include <unistd.h>

#include "app/app_test_support.h"
#include "app/cool_tray_icon.h"
#include "app/log_pane_widget.h"
#include "app/main_form.h"
#include "app/qt_seams.h"
#include "app/session_end.h"
#include "controller/quorvin.h"
#include "dialogs/plan_form.h"
#include "integration/fb_fixture.h"
#include "platform/fake_clock.h"
#include "platform/process_signals.h"
#include "runner/job_notices.h"
#include "runner/job_output.h"

namespace {

// Counts the pane's repaints and the number of lines it held at each.
class TPaintWatch : public QObject {
 public:
  explicit TPaintWatch(TLogPane* pane) : FPane(pane) { pane->viewport()->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) LinesAtPaint.insert(FPane->blockCount());
    return false;
  }
  std::set<int> LinesAtPaint;

 private:
  TLogPane* FPane;
};

}  // namespace

class TMainFormEngineTest : public QObject {
  Q_OBJECT

 private slots:
  // First: the signal handling is in place before the client library is
  // loaded, as in the program.
  void sessionEndDuringBackupClosesAfterIt();
  void backupAndRestoreFromTheWindow();
  void incrementalChainFromTheWindow();
  void cutShortRestoreDoesNotWaitOnStandardInput();
  void noticeHeldOpenDoesNotStallTheJob();
  void failedPlanBackupTellsWithoutABox();
};

// A termination signal in the middle of a backup through the embedded engine:
// the backup runs to its end (the client library's own handler, put in place
// when it is loaded, would shut its connections down at once), then the
// window closes and the settings are written.
void TMainFormEngineTest::sessionEndDuringBackupClosesAfterIt() {
  InstallQtSeams();
  TScriptedBoxes boxes;
  fbtest::TempFolder data;
  const std::string db = data.File("late.fdb");
  fbtest::CreateDatabase(db, 10);
  TProgramFolder folder("[Parameters]\nProtocol=3\nBackShutDown=0\nAutoBackName=0\n");
  const QString backFile = QString::fromStdString(data.File("late.fdb.gbk"));
  bool signalledMidJob = false;
  bool keptDuringJob = true;
  int closedAt = -1;
  {
    TMainForm form(folder.Dir());
    form.show();
    QSignalSpy closed(&form, &TMainForm::Closed);
    TSessionEndWatcher watcher([&form] { form.RequestSessionClose(); });
    QVERIFY(watcher.Active());
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      TQuorvin* q = form.Controller();
      if (q && q->JobRunning()) keptDuringJob = keptDuringJob && closed.isEmpty();
      if (!signalledMidJob && q && q->JobRunning() && form.Log->LineCount() > 5) {
        signalledMidJob = true;
        raise(SIGTERM);
      }
    });
    poll.start(1);
    form.eUser->setText("SYSDBA");
    form.ePass->setText("masterkey");
    form.cbBD_Name->setEditText(QString::fromStdString(db));
    RunJob(form, &TMainForm::BitBtn1Click);
    QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 10000);
    closedAt = form.Log->LineCount();
    QVERIFY(form.Controller() == nullptr);
  }
  UninstallQtSeams();
  QVERIFY(signalledMidJob);
  QVERIFY(keptDuringJob);
  QVERIFY(closedAt > 5);
  QVERIFY2(folder.Ini().contains("Name0=" + QString::fromStdString(db)), qPrintable(folder.Ini()));
  QCOMPARE(boxes.Messages, QStringList({"Файл " + backFile + " создан."}));
  QVERIFY(QFile::exists(backFile));
}

void TMainFormEngineTest::backupAndRestoreFromTheWindow() {
  InstallQtSeams();
  TScriptedBoxes boxes;
  fbtest::TempFolder data;
  const std::string db = data.File("shop.fdb");
  // Large enough that the job outlasts many turns of the event pump.
  constexpr int scale = 10;
  fbtest::CreateDatabase(db, scale);
  TProgramFolder folder("[Parameters]\nProtocol=3\nBackShutDown=0\nAutoBackName=0\n");
  TMainForm form(folder.Dir());
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  TPaintWatch watch(form.Log);
  // A timer of the user-interface thread keeps ticking during the job.
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(20);

  form.eUser->setText("SYSDBA");
  form.ePass->setText("masterkey");
  form.cbBD_Name->setEditText(QString::fromStdString(db));
  RunJob(form, &TMainForm::BitBtn1Click);

  const QString backFile = QString::fromStdString(data.File("shop.fdb.gbk"));
  QVERIFY2(QFile::exists(backFile), qPrintable(boxes.Messages.join(" | ") + "\n" + form.Log->Text()));
  QCOMPARE(boxes.Messages.last(), "Файл " + backFile + " создан.");
  QCOMPARE(form.PanelBD_Back->text(), " " + backFile);
  const QString pane = form.Log->Text();
  QVERIFY2(form.Log->LineCount() > 20, qPrintable(pane));
  QVERIFY(pane.contains("gbak:"));
  // Repainted several times mid-job with different numbers of lines.
  QVERIFY2(watch.LinesAtPaint.size() >= 3, qPrintable(QString::number(watch.LinesAtPaint.size())));
  QVERIFY2(ticks >= 3, qPrintable(QString("%1 ticks").arg(ticks)));

  // Restore the new backup under a new name from the restore page.
  const std::string restored = data.File("copy.fdb");
  form.PageControl->setCurrentIndex(1);
  form.eNameBD->setText(QString::fromStdString(restored));
  boxes.Messages.clear();
  RunJob(form, &TMainForm::bbRestoreClick);
  QVERIFY2(QFile::exists(QString::fromStdString(restored)), qPrintable(form.Log->Text()));
  QCOMPARE(boxes.Messages.last(), "Файл " + QString::fromStdString(restored) + " создан.");
  QCOMPARE(fbtest::RowCount(restored, "T_ORDERS"), static_cast<long long>(fbtest::kOrders) * scale);
  // A new database: nothing to stop, and the pane says so.
  QVERIFY2(form.Log->Text().contains("New database: copy.fdb does not exist yet, nothing to stop") &&
               !form.Log->Text().contains("Error stopping database"),
           qPrintable(form.Log->Text()));

  QVERIFY(form.close());
  UninstallQtSeams();
  const QString log = [&] {
    QDir logDir(QString::fromStdString(folder.Dir()) + "log");
    const QStringList files = logDir.entryList({"*.log"});
    return files.isEmpty() ? QString() : folder.ReadFile(logDir.filePath(files.first()));
  }();
  QVERIFY2(log.contains("Резервная копия создана. " + backFile), qPrintable(log));
  QVERIFY(log.contains("Резервная копия восстановлена. " + QString::fromStdString(restored)));
}

// Levels 0 and 1 with the backup page's "Инкрементная копия", rows changed
// between them; the restore page then offers the level-1 file and restores
// its whole chain.
void TMainFormEngineTest::incrementalChainFromTheWindow() {
  InstallQtSeams();
  TScriptedBoxes boxes;
  fbtest::TempFolder data;
  const std::string db = data.File("big.fdb");
  fbtest::CreateDatabase(db);
  TProgramFolder folder("[Parameters]\nProtocol=3\nBackShutDown=0\nAutoBackName=0\n");
  TMainForm form(folder.Dir());
  form.show();
  form.eUser->setText("SYSDBA");
  form.ePass->setText("masterkey");
  form.cbBD_Name->setEditText(QString::fromStdString(db));
  form.seIncrementalLevel->setValue(0);
  RunJob(form, &TMainForm::bbIncrementalClick);
  QVERIFY2(boxes.Messages.last().contains("_L0_"), qPrintable(boxes.Messages.join(" | ") + "\n" + form.Log->Text()));
  fbtest::RunIsqlScript("DELETE FROM T_ORDERS WHERE ID >= 1000;\nCOMMIT;\n", db);
  form.seIncrementalLevel->setValue(1);
  RunJob(form, &TMainForm::bbIncrementalClick);
  QVERIFY2(boxes.Messages.last().contains("_L1_"), qPrintable(boxes.Messages.join(" | ") + "\n" + form.Log->Text()));
  QVERIFY(form.Log->Text().contains("**** INCREMENTAL BACKUP COMPLETE ****"));
  QVERIFY(QString::fromStdString(form.RestoreSource()).endsWith(".nbk"));

  const std::string restored = data.File("restored.fdb");
  form.PageControl->setCurrentIndex(1);
  form.eNameBD->setText(QString::fromStdString(restored));
  RunJob(form, &TMainForm::bbRestoreClick);
  QVERIFY2(QFile::exists(QString::fromStdString(restored)), qPrintable(form.Log->Text()));
  QCOMPARE(boxes.Messages.last(), "Файл " + QString::fromStdString(restored) + " создан.");
  QVERIFY(form.Log->Text().contains("Files of the chain: 2"));
  QCOMPARE(fbtest::RowCount(restored, "T_ORDERS"), 1000LL);
  QVERIFY(form.close());
  UninstallQtSeams();
}

// The embedded gbak runs in this process and asks for the next volume of a
// cut-short backup on standard input. Started from a terminal nobody types
// into (here: a pipe nobody writes to), the program's start-up step makes the
// question end at once and the restore fail; without it the restore would
// wait until the watchdog below closes the pipe, and the test fails. The
// program refuses the cut-short files it can judge; this one says it comes
// from an older gbak, which the program lets the engine judge.
void TMainFormEngineTest::cutShortRestoreDoesNotWaitOnStandardInput() {
  int ends[2];
  QVERIFY(pipe(ends) == 0);
  const int savedInput = dup(STDIN_FILENO);
  QVERIFY(dup2(ends[0], STDIN_FILENO) == STDIN_FILENO);
  close(ends[0]);
  QVERIFY(DetachStandardInput());
  std::atomic<bool> done{false};
  std::atomic<bool> watchdogFired{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 900 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    watchdogFired = !done;
    close(ends[1]);
  });

  InstallQtSeams();
  TScriptedBoxes boxes;
  fbtest::TempFolder data;
  const std::string db = data.File("stock.fdb");
  fbtest::CreateDatabase(db, 1);
  const std::string whole = data.File("stock.gbk");
  int code = -1;
  const std::string gbakOut =
      fbtest::RunCommand("gbak -b " + fbtest::ShellQuote(db) + " " + fbtest::ShellQuote(whole) + " </dev/null", &code);
  QVERIFY2(code == 0, gbakOut.c_str());
  const QString cut = QString::fromStdString(data.File("cut.gbk"));
  {
    std::ifstream in(whole, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    const std::string bytes = content.str();
    std::ofstream out(cut.toStdString(), std::ios::binary);
    std::string half = bytes.substr(0, bytes.size() / 2);
    QCOMPARE(int(half[3]), 10);  // the format in the header
    half[3] = 9;
    out << half;
  }
  TProgramFolder folder("[Parameters]\nProtocol=3\n");
  const QString target = QString::fromStdString(data.File("from_cut.fdb"));
  {
    TMainForm form(folder.Dir());
    form.show();
    form.RunFileDialog = [&](QFileDialog& dialog) {
      dialog.selectFile(cut);
      return true;
    };
    form.PageControl->setCurrentIndex(1);
    form.sbOpenDataBackClick();
    form.eUser->setText("SYSDBA");
    form.ePass->setText("masterkey");
    form.eNameBD->setText(target);
    RunJob(form, &TMainForm::bbRestoreClick);
    done = true;
    QVERIFY(form.close());
  }
  watchdog.join();
  dup2(savedInput, STDIN_FILENO);
  close(savedInput);
  UninstallQtSeams();
  QVERIFY2(!watchdogFired, "the restore waited on standard input");
  QVERIFY2(boxes.Messages.filter("создан").isEmpty(), qPrintable(boxes.Messages.join(" | ")));
  QVERIFY2(boxes.Messages.contains("Errors were encountered during restore"), qPrintable(boxes.Messages.join(" | ")));
}

// A real backup with the program's own message boxes: mid-job the user tries
// to close the window (a notice) and opens the pane's save dialog, and leaves
// both open. The job runs on to its end and the pane fills to its last line.
void TMainFormEngineTest::noticeHeldOpenDoesNotStallTheJob() {
  InstallQtSeams();
  fbtest::TempFolder data;
  const std::string db = data.File("held.fdb");
  fbtest::CreateDatabase(db, 10);
  TProgramFolder folder("[Parameters]\nProtocol=3\nBackShutDown=0\nAutoBackName=0\n");
  TMainForm form(folder.Dir());
  form.show();
  int linesAtNotice = -1;
  bool modalDuringJob = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (linesAtNotice < 0 && form.Controller()->JobRunning() && form.Log->LineCount() > 5) {
      linesAtNotice = form.Log->LineCount();
      form.close();
      form.close();  // the same notice: its box comes forward
      // A notice of the job, as the job's own output shows it.
      TJobOutput(form.Log, &form.MessageBoxes()).ShowJobMessage("Error: held open");
      form.N1Click();
    }
  });
  poll.start(2);
  // The announcement after the job is the one box that waits for a click.
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      modalDuringJob = modalDuringJob || form.Controller()->JobRunning();
      box->accept();
    }
  });
  answer.start(50);
  form.eUser->setText("SYSDBA");
  form.ePass->setText("masterkey");
  form.cbBD_Name->setEditText(QString::fromStdString(db));
  RunJob(form, &TMainForm::BitBtn1Click);
  poll.stop();
  answer.stop();
  const QStringList pane = form.Log->Text().split('\n');
  QVERIFY(linesAtNotice > 0);
  QVERIFY(!modalDuringJob);
  // Every line after the first few came while the notice and the dialog were
  // open.
  QVERIFY2(pane.size() > linesAtNotice + 20, qPrintable(QString::number(pane.size())));
  QVERIFY2(pane.contains("**** BACKUP COMPLETE ****") && pane.contains("End of job: BACKUP OPERATION"),
           qPrintable(pane.join('\n')));
  QVERIFY(QFile::exists(QString::fromStdString(data.File("held.fdb.gbk"))));
  // Both notices stay open, the second a little lower; once the job has
  // ended the status line tells the state again, not the notices.
  const QList<QMessageBox*> open = form.MessageBoxes().OpenNotices();
  QCOMPARE(open.size(), 2);
  QVERIFY(open[0]->isVisible() && open[0]->text().startsWith("Идёт резервное копирование"));
  QCOMPARE(open[1]->text(), QString("Error: held open"));
  QCOMPARE(open[1]->pos(), open[0]->pos() + QPoint(24, 24));
  form.RefreshState();
  QVERIFY2(!form.StatusState->text().contains("held open") && form.StatusState->text().contains("план остановлен"),
           qPrintable(form.StatusState->text()));
  QVERIFY(form.SaveDialog->isVisible() && form.SaveDialog->testOption(QFileDialog::ReadOnly));
  form.SaveDialog->reject();
  open[1]->accept();
  open[0]->accept();
  QTRY_COMPARE(form.StatusBar1->currentMessage(), QString());
  QVERIFY(form.close());
  UninstallQtSeams();
}

// The plan with the real event loop and timer and nobody clicking: a backup
// through the server with a wrong password fails at 10:00 without a box; the
// log says why, the tray icon turns to its warning picture, the tool tip and
// the status bar tell.
void TMainFormEngineTest::failedPlanBackupTellsWithoutABox() {
  InstallQtSeams();
  fbtest::TempFolder data;
  const std::string db = data.File("planned.fdb");
  fbtest::CreateDatabase(db);
  TProgramFolder folder(
      "[Main]\nUser=SYSDBA\nPass=wrong\n[Parameters]\nProtocol=0\nBackShutDown=0\n"
      "AutoBackName=1\nRememberPass=1\n[Plan]\nDay1Back=1\nNightPeriodBack=1\n");
  TFakeClock clock(EncodeDate(2026, 12, 7) + EncodeTime(9, 59, 58, 0));  // a Monday
  TMainForm form(folder.Dir());
  form.TrayIcon()->TrayAvailable = [] { return true; };
  form.Controller()->Timer().SetInterval(20);
  form.cbBD_Name->setEditText(QString::fromStdString(db));
  bool modalSeen = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] { modalSeen = modalSeen || QApplication::activeModalWidget(); });
  QTimer start;
  QObject::connect(&start, &QTimer::timeout, [&] {
    if (auto* dialog = dynamic_cast<TPlanForm*>(QApplication::activeModalWidget())) dialog->bbStartClick();
  });
  start.start(10);
  form.BitBtn3Click();
  start.stop();
  watch.start(5);
  clock.Set(EncodeDate(2026, 12, 7) + EncodeTime(10, 0, 2, 0));
  TQuorvin& q = *form.Controller();
  QTRY_VERIFY_WITH_TIMEOUT(q.Plan().LastPlanBackup().Ended != 0 && !q.JobRunning(), 60000);
  watch.stop();
  QVERIFY(!modalSeen);
  QVERIFY2(q.Plan().LastPlanBackup().Reason.find("password") != std::string::npos,
           q.Plan().LastPlanBackup().Reason.c_str());
  QCOMPARE(form.TrayIcon()->IconIndex(), 2);
  QVERIFY2(form.TrayIcon()->Hint().contains("НЕ создана"), qPrintable(form.TrayIcon()->Hint()));
  form.Restore1Click();
  // Not seen yet: the failure with its reason first, then the newest outcome.
  const QString status = form.StatusState->text();
  QVERIFY2(status.startsWith("Не созданы копии: " + QString::fromStdString(db) + " — 07.12.2026 в 10:00: "),
           qPrintable(status));
  QVERIFY2(status.contains("password"), qPrintable(status));
  QVERIFY2(status.endsWith("Последняя копия: 07.12.2026 в 10:00 — НЕ создана"), qPrintable(status));
  QVERIFY(folder.ReadFile(QString::fromStdString(q.Log().LogFileName())).contains("в 10:00 Причина: "));
  QVERIFY(form.close());
  UninstallQtSeams();
}

QTEST_MAIN(TMainFormEngineTest)
#include "main_form_engine_test.moc"
