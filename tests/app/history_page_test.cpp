// The history page and the status bar's progress in the main window, with a
// prepared history file and stand-in jobs. Headless.

#include <QChartView>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QProgressBar>
#include <QScatterSeries>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QValueAxis>
#include <QtTest>

#include "app/app_test_support.h"
#include "app/history_model.h"
#include "app/history_page.h"
#include "app/main_form.h"
#include "controller/history/job_history.h"
#include "controller/quorvin.h"
#include "jobs/job_runner.h"

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

// The series of a chart of the page by name.
QMap<QString, QXYSeries*> SeriesOf(THistoryPage& page, const char* chart) {
  QMap<QString, QXYSeries*> series;
  auto* view = page.findChild<QChartView*>(chart);
  if (view == nullptr) return series;
  for (QAbstractSeries* one : view->chart()->series())
    if (auto* xy = qobject_cast<QXYSeries*>(one)) series[xy->name()] = xy;
  return series;
}

}  // namespace

class THistoryPageTest : public QObject {
  Q_OBJECT

 private slots:
  void pageIsReadWhenFirstShownAndMarksFailures();
  void jobsShowProgressAndRefreshThePage();
  void rowsByStartOwnDurationsAndDistinctLabels();
  void everyDatabaseALineColumnsThatFit();
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
  QCOMPARE(text(2, THistoryModel::ColSize), QString("2,0 МиБ"));
  // A copy on this computer is named beside the server's file.
  QCOMPARE(page.Model->index(0, THistoryModel::ColFile).data(Qt::ToolTipRole).toString(),
           QString("/db/b.fdb.gbk\nКопия на этом компьютере: /copies/b.gbk.zst"));
  const QModelIndex failed = page.Model->index(1, THistoryModel::ColOutcome);
  QCOMPARE(failed.data(Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::red));
  QVERIFY(!failed.data(Qt::DecorationRole).value<QIcon>().isNull());

  // Every database, then the database backed up last: the table in full
  // and a line of each database; choosing a database filters the table and
  // the charts as well.
  QCOMPARE(page.cbHistoryBase->count(), 3);
  QCOMPARE(page.cbHistoryBase->currentText(), QString("Все базы данных"));
  QCOMPARE(page.cbHistoryBase->itemText(1), QString("/db/b.fdb"));
  QCOMPARE(SeriesOf(page, "chHistoryDuration").keys(), QStringList({"/db/a.fdb", "/db/b.fdb", "Ошибка"}));
  page.cbHistoryBase->setCurrentIndex(2);
  QCOMPARE(page.Model->rowCount(), 2);
  QCOMPARE(text(0, THistoryModel::ColDatabase), QString("/db/a.fdb"));
  const auto durations = SeriesOf(page, "chHistoryDuration");
  QCOMPARE(durations.keys(), QStringList({"/db/a.fdb", "Ошибка"}));
  QCOMPARE(durations["/db/a.fdb"]->count(), 1);
  QCOMPARE(SeriesOf(page, "chHistorySize")["/db/a.fdb"]->at(0).y(), 2.0);
  QCOMPARE(durations["Ошибка"]->count(), 1);
  QCOMPARE(durations["Ошибка"]->at(0).y(), 120.0);

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
  q.Jobs().JobRunner = [&](TJobRunner& job) {
    for (int i = 0; i < 4; ++i) {
      job.OnOutputLine("line");
      // The display follows a few times a second; here at once.
      form.RefreshState();
      const bool busy = form.pbJobProgress->maximum() == 0;
      shown << (form.pbJobProgress->isVisibleTo(&form) ? (busy ? -2 : form.pbJobProgress->value()) : -1);
    }
    folder.WriteFile(QString::fromStdString(TargetOf(job.Job()).Get()).section('/', -1), "GBK");
    return true;
  };
  form.PageControl->setCurrentIndex(TMainForm::HistoryTab);
  QCOMPARE(form.TabSheet8->Model->rowCount(), 0);
  form.cbBD_Name->setEditText(folder.Path("a.fdb"));
  RunJob(form, &TMainForm::BitBtn1Click);
  QCOMPARE(shown, QList<int>({-2, -2, -2, -2}));  // a first run: a busy bar, no figure
  shown.clear();
  RunJob(form, &TMainForm::BitBtn1Click);
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
  const QStringList expected[] = {{"Резервная копия", "0:00:30", "5,00 ГиБ"},
                                  {"Проверка", "0:00:30", "3,0 МиБ"},
                                  {"Резервная копия", "0:00:40", "3,0 МиБ"}};
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

// Ten databases, two backups each and one failure: with every database the
// charts draw the eight backed up last, a line each in both charts (duration
// and size on charts of their own) and one legend naming them; the table's
// columns fit the page. One database chosen: its lines alone.
void THistoryPageTest::everyDatabaseALineColumnsThatFit() {
  TScriptedBoxes boxes;
  TProgramFolder folder("");
  std::string history;
  for (int day = 1; day <= 2; ++day)
    for (int db = 0; db < 10; ++db) {
      const std::string at = QString("2026-12-0%1T%2:00:00+01:00").arg(day).arg(10 + db).toStdString();
      const std::string end = QString("2026-12-0%1T%2:0%3:00+01:00").arg(day).arg(10 + db).arg(day).toStdString();
      const std::string name = "/db/base" + std::to_string(db) + ".fdb";
      const bool failed = day == 2 && db == 9;
      history += Line(at.c_str(), end.c_str(), name.c_str(), failed ? HistoryFailure : HistorySuccess,
                      failed ? 0 : static_cast<std::uint64_t>(db + day) << 20);
    }
  folder.WriteFile(QString::fromStdString(HistoryFileName("Quorvin")), QString::fromStdString(history));
  TMainForm form(folder.Dir());
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  form.PageControl->setCurrentIndex(TMainForm::HistoryTab);
  THistoryPage& page = *form.TabSheet8;
  QCoreApplication::processEvents();

  const auto durations = SeriesOf(page, "chHistoryDuration");
  const auto sizes = SeriesOf(page, "chHistorySize");
  QStringList expected;
  for (int db = 9; db >= 2; --db) expected << QString("/db/base%1.fdb").arg(db);
  std::sort(expected.begin(), expected.end());
  QCOMPARE(sizes.keys(), expected);
  QCOMPARE(durations.keys(), expected + QStringList{"Ошибка"});
  QSet<QRgb> colours;
  for (const QString& name : expected) {
    QCOMPARE(sizes[name]->count(), name.contains("base9") ? 1 : 2);
    colours << sizes[name]->color().rgb();
    QCOMPARE(durations[name]->color(), sizes[name]->color());
  }
  QCOMPARE(colours.size(), 8);
  QCOMPARE(sizes["/db/base8.fdb"]->at(1).y(), 10.0);
  QCOMPARE(durations["/db/base8.fdb"]->at(1).y(), 120.0);
  // Each figure on its own chart and axis, side by side.
  auto* durationView = page.findChild<QChartView*>("chHistoryDuration");
  auto* sizeView = page.findChild<QChartView*>("chHistorySize");
  QVERIFY(!durationView->geometry().intersects(sizeView->geometry()));
  const auto top = [](QChartView* view) {
    return qobject_cast<QValueAxis*>(view->chart()->axes(Qt::Vertical).first())->max();
  };
  QCOMPARE(top(durationView), 120.0 * 1.1);
  QCOMPARE(top(sizeView), 10.0 * 1.1);
  const QString legend = page.findChild<QLabel*>("lbHistoryLegend")->text();
  for (int db = 2; db <= 9; ++db) QVERIFY2(legend.contains(QString("base%1.fdb").arg(db)), qPrintable(legend));
  QVERIFY(legend.contains("и&nbsp;ещё&nbsp;2") && legend.contains("ошибок: 1"));

  // Every column inside the table, "Задание" and "Итог" with room for their
  // captions; no scroll bar across.
  auto* table = page.findChild<QTableView*>("tvHistory");
  const QHeaderView* header = table->horizontalHeader();
  QVERIFY(!table->horizontalScrollBar()->isVisible());
  for (int column = 0; column < THistoryModel::ColCount; ++column) {
    const int right = header->sectionViewportPosition(column) + header->sectionSize(column);
    QVERIFY2(header->sectionViewportPosition(column) >= 0 && right <= table->viewport()->width(),
             qPrintable(QString::number(column)));
  }
  for (int column : {int(THistoryModel::ColKind), int(THistoryModel::ColOutcome)}) {
    const QString caption = page.Model->headerData(column, Qt::Horizontal).toString();
    QVERIFY2(header->sectionSize(column) >= header->fontMetrics().horizontalAdvance(caption), qPrintable(caption));
  }
  form.resize(form.width() - 150, form.height());
  QCoreApplication::processEvents();
  QVERIFY(header->sectionViewportPosition(THistoryModel::ColReason) + header->sectionSize(THistoryModel::ColReason) <=
          table->viewport()->width());

  page.cbHistoryBase->setCurrentIndex(page.cbHistoryBase->findText("/db/base0.fdb"));
  QCOMPARE(SeriesOf(page, "chHistorySize").keys(), QStringList({"/db/base0.fdb"}));
  QCOMPARE(SeriesOf(page, "chHistoryDuration").keys(), QStringList({"/db/base0.fdb"}));
}

QTEST_MAIN(THistoryPageTest)
#include "history_page_test.moc"
