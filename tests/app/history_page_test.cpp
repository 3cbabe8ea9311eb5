// The history page and the status bar's progress in the main window, with a
// prepared history file and stand-in jobs. Headless.

#include <QComboBox>
#include <QLineSeries>
#include <QProgressBar>
#include <QScatterSeries>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include "app/app_test_support.h"
#include "app/history_model.h"
#include "app/history_page.h"
#include "app/main_form.h"
#include "controller/history/job_history.h"
#include "controller/quorvin.h"
#include "runner/schedule.h"

namespace {

// A plan backup's record.
std::string Line(const char* start, const char* end, const char* database, const char* outcome, std::uint64_t size,
                 const char* copy = "") {
  THistoryRecord r;
  r.File = std::string(database) + ".gbk";
  r.Copy = copy;
  r.Start = start;
  r.End = end;
  r.Kind = HistoryKindBackup;
  r.Database = database;
  r.Size = size;
  r.Outcome = outcome;
  r.Reason = std::string(outcome) == HistoryFailure ? "disk full" : "";
  return HistoryLine(r) + "\n";
}

}  // namespace

class THistoryPageTest : public QObject {
  Q_OBJECT

 private slots:
  void pageIsReadWhenFirstShownAndMarksFailures();
  void jobsShowProgressAndRefreshThePage();
  void rowsByStartOwnDurationsAndDistinctLabels();
};

void THistoryPageTest::pageIsReadWhenFirstShownAndMarksFailures() {
  TScriptedBoxes boxes;
  TProgramFolder folder("");
  folder.WriteFile(
      QString::fromStdString(HistoryFileName("Quorvin")),
      QString::fromStdString(
          Line("2026-12-05T10:00:00+01:00", "2026-12-05T10:01:00+01:00", "/db/a.fdb", HistorySuccess, 2 << 20) +
          Line("2026-12-06T10:00:00+01:00", "2026-12-06T10:02:00+01:00", "/db/a.fdb", HistoryFailure, 0) + "{broken\n" +
          Line("2026-12-07T10:00:00+01:00", "2026-12-07T10:00:30+01:00", "/db/b.fdb", HistorySuccess, 1 << 20,
               "/copies/b.gbk.zst")));
  TMainForm form(folder.Dir());
  const int pagesHeight = form.PageControl->height();
  QCOMPARE(form.PageControl->tabToolTip(TMainForm::HistoryTab), QString("История"));
  THistoryPage& page = *form.TabSheet8;
  QVERIFY(!page.Loaded());
  QCOMPARE(page.Model->rowCount(), 0);

  form.PageControl->setCurrentIndex(TMainForm::HistoryTab);
  QVERIFY(page.Loaded());
  QVERIFY(form.Log->isHidden());
  // Newest first; the broken line is skipped.
  QCOMPARE(page.Model->rowCount(), 3);
  const auto text = [&](int row, int column) { return page.Model->index(row, column).data().toString(); };
  QCOMPARE(text(0, THistoryModel::ColDatabase), QString("/db/b.fdb"));
  QCOMPARE(text(1, THistoryModel::ColOutcome), QString("ошибка"));
  QCOMPARE(text(2, THistoryModel::ColDuration), QString("0:01:00"));
  QCOMPARE(text(2, THistoryModel::ColSize), QString("2.0 МиБ"));
  // A copy on this computer is named beside the server's file.
  QCOMPARE(page.Model->index(0, THistoryModel::ColFile).data(Qt::ToolTipRole).toString(),
           QString("/db/b.fdb.gbk\nКопия на этом компьютере: /copies/b.gbk.zst"));
  const QModelIndex failed = page.Model->index(1, THistoryModel::ColOutcome);
  QCOMPARE(failed.data(Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::red));
  QVERIFY(!failed.data(Qt::DecorationRole).value<QIcon>().isNull());

  // Every database, then the database backed up last: the table in full
  // and the chart of b; choosing a database filters the table as well.
  QCOMPARE(page.cbHistoryBase->count(), 3);
  QCOMPARE(page.cbHistoryBase->currentText(), QString("Все базы данных"));
  QCOMPARE(page.cbHistoryBase->itemText(1), QString("/db/b.fdb"));
  QCOMPARE(page.DurationSeries->count(), 1);
  QCOMPARE(page.FailureSeries->count(), 0);
  page.cbHistoryBase->setCurrentIndex(2);
  QCOMPARE(page.Model->rowCount(), 2);
  QCOMPARE(text(0, THistoryModel::ColDatabase), QString("/db/a.fdb"));
  QCOMPARE(page.DurationSeries->count(), 1);
  QCOMPARE(page.SizeSeries->at(0).y(), 2.0);
  QCOMPARE(page.FailureSeries->count(), 1);
  QCOMPARE(page.FailureSeries->at(0).y(), 120.0);

  form.PageControl->setCurrentIndex(0);
  QVERIFY(!form.Log->isHidden());
  QCOMPARE(form.PageControl->height(), pagesHeight);
  QVERIFY(pagesHeight >= TMainForm::TabControlHeight);
}

void THistoryPageTest::jobsShowProgressAndRefreshThePage() {
  TScriptedBoxes boxes;
  TProgramFolder folder("[Parameters]\nAutoBackName=0\n");
  folder.WriteFile("a.fdb", "LIVE");
  TMainForm form(folder.Dir());
  TQuorvin& q = *form.Controller();
  QList<int> shown;
  q.Jobs().JobRunner = [&](TSchedule& job) {
    for (int i = 0; i < 4; ++i) {
      job.OnOutputLine("line");
      // The display follows a few times a second; here at once.
      form.RefreshState();
      const bool busy = form.pbJobProgress->maximum() == 0;
      shown << (form.pbJobProgress->isVisibleTo(&form) ? (busy ? -2 : form.pbJobProgress->value()) : -1);
    }
    folder.WriteFile(QString::fromStdString(job.JobFile(2)).section('/', -1), "GBK");
    return true;
  };
  form.PageControl->setCurrentIndex(TMainForm::HistoryTab);
  QCOMPARE(form.TabSheet8->Model->rowCount(), 0);
  form.cbBD_Name->setEditText(folder.Path("a.fdb"));
  form.BitBtn1Click();
  QCOMPARE(shown, QList<int>({-2, -2, -2, -2}));  // a first run: a busy bar, no figure
  shown.clear();
  form.BitBtn1Click();
  QCOMPARE(shown, QList<int>({25, 50, 75, 99}));
  QVERIFY(!form.pbJobProgress->isVisibleTo(&form));
  QTRY_COMPARE(form.TabSheet8->Model->rowCount(), 2);
}

// A verification is written before the backup it ran in: rows go by start.
// A backup's duration is its own (from its phase times, or in an older record
// less its verification's); sizes in binary units; time labels never repeat.
void THistoryPageTest::rowsByStartOwnDurationsAndDistinctLabels() {
  const auto record = [](const char* kind, const char* start, const char* end, std::uint64_t size) {
    THistoryRecord r;
    r.Kind = kind;
    r.Start = start;
    r.End = end;
    r.Database = "/db/a.fdb";
    r.Outcome = HistorySuccess;
    r.Size = size;
    return r;
  };
  THistoryRecord newer =
      record(HistoryKindBackup, "2026-12-07T11:00:00+01:00", "2026-12-07T11:02:00+01:00", 5ull << 30);
  newer.CopySeconds = 30;
  newer.VerifySeconds = 60;
  THistoryModel model;
  model.SetRecords({record(HistoryKindVerify, "2026-12-07T10:00:30+01:00", "2026-12-07T10:01:00+01:00", 3 << 20),
                    record(HistoryKindBackup, "2026-12-07T10:00:00+01:00", "2026-12-07T10:01:10+01:00", 3 << 20),
                    newer});
  const auto text = [&](int row, int column) { return model.index(row, column).data().toString(); };
  const QStringList expected[] = {{"Резервная копия", "0:00:30", "5.00 ГиБ"},
                                  {"Проверка", "0:00:30", "3.0 МиБ"},
                                  {"Резервная копия", "0:00:40", "3.0 МиБ"}};
  for (int row = 0; row < 3; ++row) {
    const QStringList shown{text(row, THistoryModel::ColKind), text(row, THistoryModel::ColDuration),
                            text(row, THistoryModel::ColSize)};
    QCOMPARE(shown, expected[row]);
  }
  QVERIFY(model.index(0, THistoryModel::ColDuration).data(Qt::ToolTipRole).toString().endsWith("0:02:00"));

  const qint64 start = QDateTime(QDate(2026, 12, 30), QTime(9, 0)).toMSecsSinceEpoch();
  const qint64 hour = 3600000;
  const struct {
    qint64 Span;
    const char* Format;
  } spans[] = {{2 * hour, "HH:mm"},          {3 * 60000, "HH:mm:ss"},
               {30 * hour, "dd.MM HH:mm"},   {3 * 24 * hour, "dd.MM HH:mm"},
               {10 * 24 * hour, "dd.MM.yy"}, {4 * 24 * hour + 1, "dd.MM.yy"}};
  for (const auto& span : spans) {
    const QString format = TimeAxisFormat(start, start + span.Span, 5);
    QCOMPARE(format, QString(span.Format));
    QSet<QString> labels;
    for (int tick = 0; tick < 5; ++tick)
      labels << QDateTime::fromMSecsSinceEpoch(start + span.Span * tick / 4).toString(format);
    QCOMPARE(labels.size(), 5);
  }
}

QTEST_MAIN(THistoryPageTest)
#include "history_page_test.moc"
