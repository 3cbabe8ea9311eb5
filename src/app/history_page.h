#pragma once
// The main window's history page: the jobs of the history as a table
// (newest first, failures marked; every database's, or that of the one chosen
// above it) whose columns share the page's width, and beneath it two charts
// of the backups over time, their duration and their size, each on its own
// axis: one line per database (every database's, or the one chosen), failures
// as large red marks, and one legend for both. A growing, slowing or failing
// backup shows at a glance. The file is read when the page is first shown and
// again whenever it has changed.

#include <QColor>
#include <QList>
#include <QPointF>
#include <QWidget>
#include <string>
#include <vector>

#include "app/history_model.h"
#include "platform/files.h"

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QTableView;
class QValueAxis;

// The time axis's label format for a range from `firstMSecs` to `lastMSecs`
// with `ticks` ticks: no two ticks get the same label.
QString TimeAxisFormat(qint64 firstMSecs, qint64 lastMSecs, int ticks);

class THistoryPage : public QWidget {
 public:
  // The chart draws at most this many databases (those backed up last).
  static constexpr int MaxChartDatabases = 8;

  explicit THistoryPage(QWidget* parent = nullptr);

  void SetHistoryFile(const std::string& path) { FPath = path; }
  // Reads the file unless it was read already.
  void EnsureLoaded();
  // Reads the file again when it was read before and has changed since (a
  // page never shown stays unread).
  void ReloadIfLoaded();
  bool Loaded() const { return FLoaded; }
  // The end (ISO 8601) of the newest record the page shows; empty before.
  const std::string& NewestEnd() const { return FNewestEnd; }
  // The points the charts hold now.
  qsizetype ChartPoints() const;

  QLabel* lbHistoryBase;
  QComboBox* cbHistoryBase;
  QTableView* tvHistory;
  THistoryModel* Model;
  QChartView* chDuration;
  QChartView* chSize;
  // The databases' colours and the failures' mark, for both charts.
  QLabel* lbLegend;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // One backup of the chart: when it started, how long it took, its size.
  struct TPoint {
    std::string Database;
    qint64 StartMSecs;
    double Seconds;
    double MBytes;
    bool Failed;
  };
  // A chart with its time axis and its value axis.
  struct TChart {
    QChart* Chart = nullptr;
    QDateTimeAxis* Time = nullptr;
    QValueAxis* Values = nullptr;
  };
  void Load();
  void BuildTable();
  QWidget* BuildCharts();
  TChart NewChart(const QString& title, QChartView*& view, const char* name);
  void FillDatabases();
  // The table and the charts of the database chosen (every one: "").
  void ShowDatabase();
  // The points of one database, as its lines draw them.
  struct TLine {
    QList<QPointF> Durations;
    QList<QPointF> Sizes;
  };
  // What the charts draw of the databases: a line each (as many as have a
  // colour), the failures, the span of time and the tops of the values.
  struct TChartData {
    std::vector<TLine> Lines;
    QList<QPointF> Failures;
    qint64 First = 0;
    qint64 Last = 0;
    double Longest = 0;
    double Largest = 0;
  };
  TChartData ChartData(const std::vector<std::string>& databases) const;
  void ShowCharts(const std::vector<std::string>& databases);
  void AddLines(const QString& name, const QColor& colour, const TLine& line);
  void AddFailures(const QList<QPointF>& failures);
  void FitTime(qint64 first, qint64 last);
  // The columns as wide as their texts need, the names and the reason
  // sharing the rest; all narrower alike when the page is too narrow.
  void FitColumns();

  std::string FPath;
  bool FLoaded = false;
  // The file as last read: unchanged, it is not read again.
  std::optional<TFileIdentity> FReadFile;
  std::string FNewestEnd;
  std::vector<TPoint> FPoints;
  TChart FDuration;
  TChart FSize;
  // The widths the columns' texts need.
  int FNatural[THistoryModel::ColCount] = {};
};
