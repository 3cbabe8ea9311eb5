#pragma once
// The job history as a table: one row per record, newest first, all of them
// or those of one database; failed jobs drawn in red with an error picture
// beside their outcome.

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>
#include <vector>

#include "controller/history/job_history.h"

class THistoryModel : public QAbstractTableModel {
 public:
  enum TColumn {
    ColStart,
    ColDuration,
    ColKind,
    ColBy,
    ColDatabase,
    ColFile,
    ColSize,
    ColOutcome,
    ColReason,
    ColCount
  };

  explicit THistoryModel(QObject* parent = nullptr);

  // `records` in file order (oldest first), as ReadHistory gives them.
  void SetRecords(std::vector<THistoryRecord> records);
  // Only the records of `database`; empty: every record.
  void ShowDatabase(const std::string& database);
  const THistoryRecord& Record(int row) const { return *FShown.at(static_cast<std::size_t>(row)); }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  // Texts are made when a row is drawn: only the visible rows cost time.
  QString Text(const THistoryRecord& record, int column) const;
  static QString FileToolTip(const THistoryRecord& r);
  void Filter();

  std::vector<THistoryRecord> FRecords;  // newest first
  std::string FDatabase;
  std::vector<const THistoryRecord*> FShown;
  QIcon FFailureIcon;
};

// Texts shared by the table and the chart.
QString HistoryKindText(const std::string& kind);
QString HistorySizeText(std::uint64_t bytes);
QString HistoryDurationText(std::int64_t seconds);
