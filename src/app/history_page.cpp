#include "app/history_page.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QLocale>
#include <QScatterSeries>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <map>

#include "controller/history/backup_outcomes.h"
#include "controller/history/job_history.h"
#include "dialogs/elide_delegate.h"

namespace {

constexpr qsizetype MarkedPoints = 60;
// The combo box's first item: the table shows every record.
constexpr const char* AllDatabases = "Все базы данных";
// The databases' colours, in the order of the list; red is the failures'.
constexpr const char* SeriesColours[THistoryPage::MaxChartDatabases] = {"#1f77b4", "#2ca02c", "#ff7f0e", "#9467bd",
                                                                        "#8c564b", "#17becf", "#e377c2", "#7f7f7f"};
// Columns that share what the others leave, and how much of it each takes.
constexpr int StretchWeight[THistoryModel::ColCount] = {0, 0, 0, 0, 2, 3, 0, 0, 3};
// The width such a column asks for, in average characters, and the least it
// keeps before the others give too.
constexpr int StretchChars = 10;
constexpr int StretchFloorChars = 4;

// A value axis from zero to a little above `top`, with decimals only where
// whole numbers would repeat.
void FitAxis(QValueAxis* axis, double top) {
  axis->setRange(0, top > 0 ? top * 1.1 : 1);
  axis->setLabelFormat(top >= 10 ? "%.0f" : "%.1f");
}

QString FileName(const std::string& path) {
  const QString name = QString::fromStdString(path);
  const qsizetype slash = std::max(name.lastIndexOf('/'), name.lastIndexOf('\\'));
  return slash < 0 ? name : name.mid(slash + 1);
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
  cbHistoryBase->setObjectName("cbHistoryBase");
  cbHistoryBase->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbHistoryBase->setMinimumContentsLength(30);
  lbHistoryBase->setBuddy(cbHistoryBase);
  row->addWidget(lbHistoryBase);
  row->addWidget(cbHistoryBase, 1);
  column->addLayout(row);

  auto* split = new QSplitter(Qt::Vertical, this);
  Model = new THistoryModel(this);
  tvHistory = new QTableView(split);
  BuildTable();
  split->addWidget(tvHistory);
  split->addWidget(BuildCharts());
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 1);
  column->addWidget(split, 1);

  connect(cbHistoryBase, &QComboBox::currentIndexChanged, this, [this] { ShowDatabase(); });
}

void THistoryPage::BuildTable() {
  tvHistory->setObjectName("tvHistory");
  tvHistory->setModel(Model);
  tvHistory->setSelectionBehavior(QAbstractItemView::SelectRows);
  tvHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tvHistory->setWordWrap(false);
  tvHistory->verticalHeader()->setVisible(false);
  // Fixed row heights and column widths: nothing has to look at every row.
  tvHistory->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  tvHistory->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  tvHistory->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  // The widths FitColumns gives, however narrow.
  tvHistory->horizontalHeader()->setMinimumSectionSize(1);
  tvHistory->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  tvHistory->setItemDelegate(new TElideDelegate({THistoryModel::ColDatabase, THistoryModel::ColFile}, tvHistory));
  // What each column's texts need: its caption, or its widest possible text.
  const QFontMetrics text = tvHistory->fontMetrics();
  const QFontMetrics caption = tvHistory->horizontalHeader()->fontMetrics();
  const QStringList widest[THistoryModel::ColCount] = {
      {"00.00.0000 00:00:00"},
      {"000:00:00"},
      // The common kinds; a physical backup's level is cut where it must be.
      {HistoryKindText(HistoryKindBackup), HistoryKindText(HistoryKindRestore)},
      {QString::fromUtf8("пользователь")},
      {},
      {},
      {QString::fromUtf8("1023,9 МиБ")},
      {QString::fromUtf8("успешно"), QString::fromUtf8("ошибка") + "MM"},  // the error picture beside it
      {}};
  const int margin = 2 * tvHistory->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 12;
  for (int i = 0; i < THistoryModel::ColCount; ++i) {
    int need = caption.horizontalAdvance(Model->headerData(i, Qt::Horizontal).toString());
    for (const QString& sample : widest[i]) need = std::max(need, text.horizontalAdvance(sample));
    if (StretchWeight[i] > 0) need = StretchChars * text.averageCharWidth();
    FNatural[i] = need + margin;
  }
  tvHistory->viewport()->installEventFilter(this);
}

QWidget* THistoryPage::BuildCharts() {
  auto* charts = new QWidget(this);
  auto* column = new QVBoxLayout(charts);
  column->setContentsMargins(0, 0, 0, 0);
  auto* row = new QHBoxLayout;
  FDuration = NewChart(QString::fromUtf8("Длительность, с"), chDuration, "chHistoryDuration");
  FSize = NewChart(QString::fromUtf8("Размер, МиБ"), chSize, "chHistorySize");
  row->addWidget(chDuration, 1);
  row->addWidget(chSize, 1);
  column->addLayout(row, 1);
  lbLegend = new QLabel(charts);
  lbLegend->setObjectName("lbHistoryLegend");
  lbLegend->setTextFormat(Qt::RichText);
  lbLegend->setWordWrap(true);
  lbLegend->setAlignment(Qt::AlignHCenter);
  column->addWidget(lbLegend);
  return charts;
}

THistoryPage::TChart THistoryPage::NewChart(const QString& title, QChartView*& view, const char* name) {
  TChart chart;
  chart.Chart = new QChart;
  chart.Chart->setMargins(QMargins(4, 4, 4, 4));
  // Decimals on the axes as the window's Russian has them ("0,5").
  chart.Chart->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
  chart.Chart->setLocalizeNumbers(true);
  // One legend below both charts instead.
  chart.Chart->legend()->hide();
  chart.Time = new QDateTimeAxis(chart.Chart);
  chart.Time->setFormat("dd.MM");
  chart.Values = new QValueAxis(chart.Chart);
  chart.Values->setLabelFormat("%.0f");
  chart.Values->setTitleText(title);
  // Small labels and few ticks: the charts are narrow.
  QFont small = font();
  small.setPointSizeF(small.pointSizeF() * 0.8);
  for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(chart.Time), static_cast<QAbstractAxis*>(chart.Values)}) {
    axis->setLabelsFont(small);
    axis->setTitleFont(small);
  }
  chart.Time->setTickCount(4);
  chart.Values->setTickCount(4);
  chart.Chart->setTitleFont(small);
  chart.Chart->addAxis(chart.Time, Qt::AlignBottom);
  chart.Chart->addAxis(chart.Values, Qt::AlignLeft);
  view = new QChartView(chart.Chart, this);
  view->setObjectName(name);
  view->setRenderHint(QPainter::Antialiasing);
  view->setMinimumHeight(160);
  return chart;
}

void THistoryPage::EnsureLoaded() {
  if (!FLoaded) Load();
}

void THistoryPage::ReloadIfLoaded() {
  if (FLoaded && IdentityOf(FPath) != FReadFile) Load();
}

void THistoryPage::Load() {
  FLoaded = true;
  FReadFile = IdentityOf(FPath);
  std::vector<THistoryRecord> records = ReadHistory(FPath);
  FPoints.clear();
  std::optional<std::int64_t> newest;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const THistoryRecord& record = records[i];
    const auto ended = EndedSeconds(record);
    if (ended && (!newest || *ended >= *newest)) {
      newest = ended;
      FNewestEnd = record.EndSeconds() ? record.End : record.Start;
    }
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
  // Every database: the table in full, a line each in the charts (those
  // backed up last, as many as have a colour).
  const bool all = cbHistoryBase->currentIndex() <= 0;
  Model->ShowDatabase(all ? std::string() : cbHistoryBase->currentText().toStdString());
  std::vector<std::string> databases;
  if (!all) databases.push_back(cbHistoryBase->currentText().toStdString());
  for (int i = 1; all && i < cbHistoryBase->count(); ++i) databases.push_back(cbHistoryBase->itemText(i).toStdString());
  ShowCharts(databases);
}

THistoryPage::TChartData THistoryPage::ChartData(const std::vector<std::string>& databases) const {
  TChartData data;
  data.Lines.resize(std::min<std::size_t>(databases.size(), MaxChartDatabases));
  std::map<std::string, std::size_t> lineOf;
  for (std::size_t i = 0; i < data.Lines.size(); ++i) lineOf[databases[i]] = i;
  bool any = false;
  for (const TPoint& point : FPoints) {
    const auto line = lineOf.find(point.Database);
    if (line == lineOf.end()) continue;
    data.First = any ? std::min(data.First, point.StartMSecs) : point.StartMSecs;
    data.Last = any ? std::max(data.Last, point.StartMSecs) : point.StartMSecs;
    any = true;
    const auto x = static_cast<qreal>(point.StartMSecs);
    if (point.Failed) {
      data.Failures.append(QPointF(x, point.Seconds));
    } else {
      data.Lines[line->second].Durations.append(QPointF(x, point.Seconds));
      data.Lines[line->second].Sizes.append(QPointF(x, point.MBytes));
      data.Largest = std::max(data.Largest, point.MBytes);
    }
    data.Longest = std::max(data.Longest, point.Seconds);
  }
  // A failure that took no time stands above the axis, not half behind it.
  for (QPointF& failure : data.Failures) failure.setY(std::max(failure.y(), data.Longest * 0.06 + 0.05));
  return data;
}

void THistoryPage::ShowCharts(const std::vector<std::string>& databases) {
  const TChartData data = ChartData(databases);
  for (TChart* chart : {&FDuration, &FSize}) chart->Chart->removeAllSeries();
  QStringList legend;
  QStringList names;
  for (std::size_t i = 0; i < data.Lines.size(); ++i) {
    const QColor colour(SeriesColours[i]);
    const QString name = QString::fromStdString(databases[i]);
    AddLines(name, colour, data.Lines[i]);
    legend << QString("<span style=\"color:%1\">&#9632;</span>&nbsp;%2")
                  .arg(colour.name(), FileName(databases[i]).toHtmlEscaped());
    names << name;
  }
  if (databases.size() > data.Lines.size())
    legend << QString::fromUtf8("и&nbsp;ещё&nbsp;%1").arg(databases.size() - data.Lines.size());
  if (!data.Failures.isEmpty()) {
    AddFailures(data.Failures);
    legend << QString::fromUtf8("<span style=\"color:red\">&#9679;</span>&nbsp;ошибок: %1").arg(data.Failures.size());
  }
  lbLegend->setText(legend.join("&nbsp;&nbsp;&nbsp;"));
  lbLegend->setToolTip(names.join('\n'));
  FitTime(data.First, data.Last);
  FitAxis(FDuration.Values, data.Longest);
  FitAxis(FSize.Values, data.Largest);
}

void THistoryPage::AddLines(const QString& name, const QColor& colour, const TLine& line) {
  for (auto [chart, points] : {std::pair{&FDuration, &line.Durations}, std::pair{&FSize, &line.Sizes}}) {
    auto* series = new QLineSeries;
    series->setName(name);
    series->setColor(colour);
    // Points drawn while there are few: a single backup is a point, not a
    // line; thousands of markers would only cost time.
    series->setPointsVisible(points->size() <= MarkedPoints);
    series->replace(*points);
    chart->Chart->addSeries(series);
    series->attachAxis(chart->Time);
    series->attachAxis(chart->Values);
  }
}

void THistoryPage::AddFailures(const QList<QPointF>& failures) {
  auto* marks = new QScatterSeries;
  marks->setName(QString::fromUtf8("Ошибка"));
  marks->setColor(Qt::red);
  // Large enough to be seen alone among many good backups.
  marks->setMarkerSize(13);
  marks->setBorderColor(Qt::darkRed);
  marks->replace(failures);
  FDuration.Chart->addSeries(marks);
  marks->attachAxis(FDuration.Time);
  marks->attachAxis(FDuration.Values);
}

void THistoryPage::FitTime(qint64 first, qint64 last) {
  // A single moment still gets a readable stretch of time around it.
  if (last - first < 60000) {
    first -= 30 * 60000;
    last += 30 * 60000;
  }
  for (TChart* chart : {&FDuration, &FSize}) {
    chart->Time->setRange(QDateTime::fromMSecsSinceEpoch(first), QDateTime::fromMSecsSinceEpoch(last));
    chart->Time->setFormat(TimeAxisFormat(first, last, chart->Time->tickCount()));
  }
}

qsizetype THistoryPage::ChartPoints() const {
  qsizetype points = 0;
  for (const TChart* chart : {&FDuration, &FSize})
    for (QAbstractSeries* series : chart->Chart->series())
      if (auto* xy = qobject_cast<QXYSeries*>(series)) points += xy->count();
  return points;
}

bool THistoryPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == tvHistory->viewport() && event->type() == QEvent::Resize) FitColumns();
  return QWidget::eventFilter(watched, event);
}

void THistoryPage::FitColumns() {
  const int available = tvHistory->viewport()->width();
  int fixed = 0;
  int least = 0;
  int weights = 0;
  for (int i = 0; i < THistoryModel::ColCount; ++i) {
    (StretchWeight[i] > 0 ? least : fixed) += FNatural[i];
    weights += StretchWeight[i];
  }
  // Room to spare goes to the names and the reason; with too little room
  // they give up theirs first (cut, whole in their tool tips), down to a few
  // characters; below that every column gives alike.
  const int floor = StretchFloorChars * tvHistory->fontMetrics().averageCharWidth() * 3;
  const int shared = std::max(std::min(available - fixed, least), floor);
  const int spare = std::max(0, available - fixed - shared);
  const double scale = std::min(1.0, static_cast<double>(available) / (fixed + shared));
  int used = 0;
  for (int i = 0; i < THistoryModel::ColCount; ++i) {
    const int share = StretchWeight[i] > 0 ? (shared + spare) * StretchWeight[i] / weights : FNatural[i];
    int width = static_cast<int>(share * scale);
    // The last column takes what rounding left: no scroll bar, no gap.
    if (i == THistoryModel::ColCount - 1) width = std::max(0, available - used);
    tvHistory->setColumnWidth(i, width);
    used += width;
  }
}
