// The main window against the real embedded engine (protocol Local): a backup
// and a restore started with the window's buttons, the pane filling line by
// line while the window keeps repainting. Headless.

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPaintEvent>
#include <QTimer>
#include <QtTest>
#include <set>

#include "app/app_test_support.h"
#include "app/main_form.h"
#include "app/qt_seams.h"
#include "controller/quorvin.h"
#include "integration/fb_fixture.h"

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
  void backupAndRestoreFromTheWindow();
};

void TMainFormEngineTest::backupAndRestoreFromTheWindow() {
  InstallQtSeams();
  TBlockingCallWorker worker;
  worker.Install();
  TScriptedPrompts prompts;
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
  QElapsedTimer clock;
  clock.start();
  form.BitBtn1Click();
  const qint64 backupMs = clock.elapsed();

  const QString backFile = QString::fromStdString(data.File("shop.fdb.gbk"));
  QVERIFY2(QFile::exists(backFile), qPrintable(prompts.Messages.join(" | ") + "\n" + form.Log->Text()));
  QCOMPARE(prompts.Messages.last(), "Файл " + backFile + " создан.");
  QCOMPARE(form.PanelBD_Back->text(), " " + backFile);
  const QString pane = form.Log->Text();
  QVERIFY2(form.Log->LineCount() > 20, qPrintable(pane));
  QVERIFY(pane.contains("gbak:"));
  // Repainted several times mid-job with different numbers of lines.
  QVERIFY2(watch.LinesAtPaint.size() >= 3, qPrintable(QString::number(watch.LinesAtPaint.size())));
  QVERIFY2(ticks >= backupMs / 20 / 4, qPrintable(QString("%1 ticks in %2 ms").arg(ticks).arg(backupMs)));

  // Restore the new backup under a new name from the restore page.
  const std::string restored = data.File("copy.fdb");
  form.PageControl->setCurrentIndex(1);
  form.eNameBD->setText(QString::fromStdString(restored));
  prompts.Messages.clear();
  form.bbRestoreClick();
  QVERIFY2(QFile::exists(QString::fromStdString(restored)), qPrintable(form.Log->Text()));
  QCOMPARE(prompts.Messages.last(), "Файл " + QString::fromStdString(restored) + " создан.");
  QCOMPARE(fbtest::RowCount(restored, "T_ORDERS"), static_cast<long long>(fbtest::kOrders) * scale);
  QVERIFY(!form.Log->Text().isEmpty());

  QVERIFY(form.close());
  TBlockingCallWorker::Uninstall();
  UninstallQtSeams();
  const QString log = [&] {
    QDir logDir(QString::fromStdString(folder.Dir()) + "log");
    const QStringList files = logDir.entryList({"*.log"});
    return files.isEmpty() ? QString() : folder.ReadFile(logDir.filePath(files.first()));
  }();
  QVERIFY2(log.contains("Резервная копия создана. " + backFile), qPrintable(log));
  QVERIFY(log.contains("Резервная копия восстановлена. " + QString::fromStdString(restored)));
}

QTEST_MAIN(TMainFormEngineTest)
#include "main_form_engine_test.moc"
