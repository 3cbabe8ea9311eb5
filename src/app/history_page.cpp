#include "app/history_page.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QScatterSeries>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <map>

#include "app/history_model.h"
#include "controller/history/job_history.h"

namespace {

constexpr qsizetype MarkedPoints = 60;
// The combo box's first item: the table shows every record.
constexpr const char* AllDatabases = "Все базы данных";

// A value axis from zero to a little above `top`, with decimals only where
// whole numbers would repeat.
void FitAxis(QValueAxis* axis, double top) {
  axis->setRange(0, top > 0 ? top * 1.1 : 1);
  axis->setLabelFormat(top >= 10 ? "%.0f" : "%.1f");
}

}  // namespace

QString TimeAxisFormat(qint64 firstMSecs, qint64 lastMSecs, int ticks) {
  constexpr qint64 Minute = 60000;
  constexpr qint64 Day = 86400000;
  const qint64 step = (lastMSecs - firstMSecs) / std::max(1, ticks - 1);
  const QDateTime first = QDateTime::fromMSecsSinceEpoch(firstMSecs);
  const QDateTime last = QDateTime::fromMSecsSinceEpoch(lastMSecs);
  // Ticks a day or more apart fall on different dates; closer ones need
  // the time, and the date too once the records span days.
  if (step >= Day) return first.date().year() == last.date().year() ? "dd.MM" : "dd.MM.yy";
  const QString time = step >= Minute ? "HH:mm" : "HH:mm:ss";
  return first.date() == last.date() ? time : "dd.MM " + time;
}

THistoryPage::THistoryPage(QWidget* parent) : QWidget(parent) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 6, 6, 6);
  auto* row = new QHBoxLayout;
  lbHistoryBase = new QLabel(QString::fromUtf8("База данных"), this);
  cbHistoryBase = new QComboBox(this);
  cbHistoryBase->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbHistoryBase->setMinimumContentsLength(30);
  lbHistoryBase->setBuddy(cbHistoryBase);
  row->addWidget(lbHistoryBase);
  row->addWidget(cbHistoryBase, 1);
  column->addLayout(row);

  auto* split = new QSplitter(Qt::Vertical, this);
  Model = new THistoryModel(this);
  tvHistory = new QTableView(split);
  tvHistory->setModel(Model);
  tvHistory->setSelectionBehavior(QAbstractItemView::SelectRows);
  tvHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tvHistory->setWordWrap(false);
  tvHistory->verticalHeader()->setVisible(false);
  // Fixed row heights and column widths: nothing has to look at every row.
  tvHistory->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  tvHistory->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  tvHistory->horizontalHeader()->setStretchLastSection(true);
  const int widths[THistoryModel::ColCount] = {145, 100, 125, 100, 200, 260, 80, 80, 200};
  for (int i = 0; i < THistoryModel::ColCount; ++i) tvHistory->setColumnWidth(i, widths[i]);
  BuildChart();
  split->addWidget(tvHistory);
  split->addWidget(chHistory);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 1);
  column->addWidget(split, 1);

  connect(cbHistoryBase, &QComboBox::currentIndexChanged, this, [this] { ShowDatabase(); });
}

void THistoryPage::BuildChart() {
  FChart = new QChart;
  FChart->legend()->setAlignment(Qt::AlignBottom);
  FChart->setMargins(QMargins(4, 4, 4, 4));
  DurationSeries = new QLineSeries(FChart);
  DurationSeries->setName(QString::fromUtf8("Длительность, с"));
  SizeSeries = new QLineSeries(FChart);
  SizeSeries->setName(QString::fromUtf8("Размер, МиБ"));
  FailureSeries = new QScatterSeries(FChart);
  FailureSeries->setName(QString::fromUtf8("Ошибка"));
  FailureSeries->setColor(Qt::red);
  // Large enough to be seen alone among many good backups.
  FailureSeries->setMarkerSize(13);
  FailureSeries->setBorderColor(Qt::darkRed);
  for (QAbstractSeries* series :
       {static_cast<QAbstractSeries*>(DurationSeries), static_cast<QAbstractSeries*>(SizeSeries),
        static_cast<QAbstractSeries*>(FailureSeries)})
    FChart->addSeries(series);
  FTimeAxis = new QDateTimeAxis(FChart);
  FTimeAxis->setFormat("dd.MM");
  FSecondsAxis = new QValueAxis(FChart);
  FSecondsAxis->setLabelFormat("%.0f");
  FSizeAxis = new QValueAxis(FChart);
  FSizeAxis->setLabelFormat("%.0f");
  // Small labels and few ticks: the window is narrow.
  QFont small = font();
  small.setPointSizeF(small.pointSizeF() * 0.8);
  for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(FTimeAxis), static_cast<QAbstractAxis*>(FSecondsAxis),
                              static_cast<QAbstractAxis*>(FSizeAxis)})
    axis->setLabelsFont(small);
  FTimeAxis->setTickCount(5);
  FSecondsAxis->setTickCount(4);
  FSizeAxis->setTickCount(4);
  FChart->legend()->setFont(small);
  FChart->setTitleFont(small);
  FChart->addAxis(FTimeAxis, Qt::AlignBottom);
  FChart->addAxis(FSecondsAxis, Qt::AlignLeft);
  FChart->addAxis(FSizeAxis, Qt::AlignRight);
  for (QAbstractSeries* series :
       {static_cast<QAbstractSeries*>(DurationSeries), static_cast<QAbstractSeries*>(FailureSeries)}) {
    series->attachAxis(FTimeAxis);
    series->attachAxis(FSecondsAxis);
  }
  SizeSeries->attachAxis(FTimeAxis);
  SizeSeries->attachAxis(FSizeAxis);
  chHistory = new QChartView(FChart, this);
  chHistory->setRenderHint(QPainter::Antialiasing);
  chHistory->setMinimumHeight(180);
}

void THistoryPage::EnsureLoaded() {
  if (!FLoaded) Load();
}

void THistoryPage::ReloadIfLoaded() {
  if (FLoaded) Load();
}

void THistoryPage::Load() {
  FLoaded = true;
  std::vector<THistoryRecord> records = ReadHistory(FPath);
  FPoints.clear();
  for (std::size_t i = 0; i < records.size(); ++i) {
    const THistoryRecord& record = records[i];
    if (record.Kind != HistoryKindBackup) continue;
    const auto start = record.StartSeconds();
    if (!start) continue;
    const auto seconds = HistoryOwnSeconds(record, i > 0 ? &records[i - 1] : nullptr);
    FPoints.push_back({record.Database, *start * 1000, static_cast<double>(seconds.value_or(0)),
                       static_cast<double>(record.Size.value_or(0)) / BytesPerMiB, !record.Succeeded()});
  }
  Model->SetRecords(std::move(records));
  FillDatabases();
}

void THistoryPage::FillDatabases() {
  // Every database first, then the databases most recently backed up; the
  // choice is kept across a reload.
  const QString chosen = cbHistoryBase->currentIndex() > 0 ? cbHistoryBase->currentText() : QString();
  std::map<std::string, qint64> latest;
  for (const TPoint& point : FPoints) latest[point.Database] = std::max(latest[point.Database], point.StartMSecs);
  std::vector<std::pair<qint64, std::string>> order;
  for (const auto& [database, when] : latest) order.emplace_back(when, database);
  std::sort(order.rbegin(), order.rend());
  const QSignalBlocker quiet(cbHistoryBase);
  cbHistoryBase->clear();
  cbHistoryBase->addItem(QString::fromUtf8(AllDatabases));
  for (const auto& entry : order) cbHistoryBase->addItem(QString::fromStdString(entry.second));
  const int keep = chosen.isEmpty() ? -1 : cbHistoryBase->findText(chosen);
  cbHistoryBase->setCurrentIndex(keep > 0 ? keep : 0);
  ShowDatabase();
}

void THistoryPage::ShowDatabase() {
  // Every database: the table in full, the chart of the one backed up last.
  const bool all = cbHistoryBase->currentIndex() <= 0;
  Model->ShowDatabase(all ? std::string() : cbHistoryBase->currentText().toStdString());
  ShowChartFor(all ? cbHistoryBase->itemText(1) : cbHistoryBase->currentText());
}

void THistoryPage::ShowChartFor(const QString& database) {
  const std::string wanted = database.toStdString();
  QList<QPointF> durations;
  QList<QPointF> sizes;
  QList<QPointF> failures;
  qint64 first = 0;
  qint64 last = 0;
  double longest = 0;
  double largest = 0;
  for (const TPoint& point : FPoints) {
    if (point.Database != wanted) continue;
    if (durations.isEmpty() && failures.isEmpty()) first = point.StartMSecs;
    first = std::min(first, point.StartMSecs);
    last = std::max(last, point.StartMSecs);
    const auto x = static_cast<qreal>(point.StartMSecs);
    if (point.Failed) {
      failures.append(QPointF(x, point.Seconds));
    } else {
      durations.append(QPointF(x, point.Seconds));
      sizes.append(QPointF(x, point.MBytes));
      largest = std::max(largest, point.MBytes);
    }
    longest = std::max(longest, point.Seconds);
  }
  // Points drawn while there are few: a single backup is a point, not a
  // line; thousands of markers would only cost time.
  const bool fewPoints = durations.size() <= MarkedPoints;
  DurationSeries->setPointsVisible(fewPoints);
  SizeSeries->setPointsVisible(fewPoints);
  // A failure that took no time stands above the axis, not half behind it.
  for (QPointF& failure : failures) failure.setY(std::max(failure.y(), longest * 0.06 + 0.05));
  DurationSeries->replace(durations);
  SizeSeries->replace(sizes);
  FailureSeries->replace(failures);
  // A single moment still gets a readable stretch of time around it.
  if (last - first < 60000) {
    first -= 30 * 60000;
    last += 30 * 60000;
  }
  FTimeAxis->setRange(QDateTime::fromMSecsSinceEpoch(first), QDateTime::fromMSecsSinceEpoch(last));
  FTimeAxis->setFormat(TimeAxisFormat(first, last, FTimeAxis->tickCount()));
  FitAxis(FSecondsAxis, longest);
  FitAxis(FSizeAxis, largest);
  QString title = database.isEmpty() ? QString() : QString::fromUtf8("Резервные копии: ") + database;
  if (!failures.isEmpty()) title += QString::fromUtf8(" — ошибок: %1").arg(failures.size());
  FChart->setTitle(title);
}
