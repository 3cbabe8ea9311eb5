#pragma once
// The job history as a table: one row per record, the latest start first (a
// verification above the backup it belongs to), all of them or those of one
// database; failed jobs drawn in red with an error picture beside their
// outcome. A backup's duration is its own, without its copy on this computer
// and its verification (the whole job's in the tool tip).

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <optional>
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
  const THistoryRecord& Record(int row) const { return FRecords.at(FShown.at(static_cast<std::size_t>(row))).Record; }
  // The job's own seconds (a backup's without its copy and verification).
  std::optional<std::int64_t> OwnSeconds(int row) const {
    return FRecords.at(FShown.at(static_cast<std::size_t>(row))).OwnSeconds;
  }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  // Texts are made when a row is drawn: only the visible rows cost time.
  QString Text(int row, int column) const;
  QString DurationToolTip(int row) const;
  static QString FileToolTip(const THistoryRecord& r);
  void Filter();

  struct TRow {
    THistoryRecord Record;
    std::optional<std::int64_t> OwnSeconds;
    std::int64_t StartSeconds;
  };
  std::vector<TRow> FRecords;  // the latest start first
  std::string FDatabase;
  std::vector<std::size_t> FShown;
  QIcon FFailureIcon;
};

// Texts shared by the table and the chart.
QString HistoryKindText(const std::string& kind);
// In binary units, named as such: КиБ, МиБ, ГиБ.
QString HistorySizeText(std::uint64_t bytes);
inline constexpr double BytesPerMiB = 1024.0 * 1024.0;
QString HistoryDurationText(std::int64_t seconds);
// A job's own seconds; a backup's without its copy on this computer and its
// verification. Older records lack those times: the verification's record
// `before` it in the file (one ends inside its backup) tells.
std::optional<std::int64_t> HistoryOwnSeconds(const THistoryRecord& record, const THistoryRecord* before);
