#pragma once
// The main window's history page: the jobs of the history as a table
// (newest first, failures marked; every database's, or that of the one chosen
// above it) and a chart of one database's backups' duration and size over
// time, so a growing, slowing or failing backup shows at a glance. The file is read when the page is
// first shown and again whenever a job has ended.

#include <QWidget>
#include <string>
#include <vector>

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QScatterSeries;
class QTableView;
class QValueAxis;
class THistoryModel;
struct THistoryRecord;

// The time axis's label format for a range from `firstMSecs` to `lastMSecs`
// with `ticks` ticks: no two ticks get the same label.
QString TimeAxisFormat(qint64 firstMSecs, qint64 lastMSecs, int ticks);

class THistoryPage : public QWidget {
 public:
  explicit THistoryPage(QWidget* parent = nullptr);

  void SetHistoryFile(const std::string& path) { FPath = path; }
  // Reads the file unless it was read already.
  void EnsureLoaded();
  // Reads the file again, when it was read before (a page never shown stays
  // unread).
  void ReloadIfLoaded();
  bool Loaded() const { return FLoaded; }

  QLabel* lbHistoryBase;
  QComboBox* cbHistoryBase;
  QTableView* tvHistory;
  QChartView* chHistory;
  THistoryModel* Model;
  QLineSeries* DurationSeries;
  QLineSeries* SizeSeries;
  QScatterSeries* FailureSeries;

 private:
  // One backup of the chart: when it started, how long it took, its size.
  struct TPoint {
    std::string Database;
    qint64 StartMSecs;
    double Seconds;
    double MBytes;
    bool Failed;
  };
  void Load();
  void BuildChart();
  void FillDatabases();
  // The table and the chart of the database chosen.
  void ShowDatabase();
  void ShowChartFor(const QString& database);

  std::string FPath;
  bool FLoaded = false;
  std::vector<TPoint> FPoints;
  QChart* FChart = nullptr;
  QDateTimeAxis* FTimeAxis = nullptr;
  QValueAxis* FSecondsAxis = nullptr;
  QValueAxis* FSizeAxis = nullptr;
};
