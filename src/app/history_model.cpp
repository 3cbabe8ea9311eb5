#include "app/history_model.h"

#include <algorithm>

#include <QApplication>
#include <QBrush>
#include <QDateTime>
#include <QLocale>
#include <QStyle>

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QString StartText(const THistoryRecord& record) {
  const auto seconds = record.StartSeconds();
  if (!seconds) return Q(record.Start);
  return QDateTime::fromSecsSinceEpoch(*seconds).toString("dd.MM.yyyy HH:mm:ss");
}

}  // namespace

QString HistoryKindText(const std::string& kind) {
  if (kind == HistoryKindBackup) return QString::fromUtf8("Резервная копия");
  if (kind == HistoryKindRestore) return QString::fromUtf8("Восстановление");
  if (kind == HistoryKindVerify) return QString::fromUtf8("Проверка");
  if (kind == HistoryKindNBackup) return QString::fromUtf8("Инкрементная копия");
  if (kind == HistoryKindOffsite) return QString::fromUtf8("Копия в хранилище объектов");
  return Q(kind);
}

QString HistorySizeText(std::uint64_t bytes) {
  // Decimals as the window's Russian has them: "628,1 МиБ".
  QLocale russian(QLocale::Russian, QLocale::Russia);
  russian.setNumberOptions(QLocale::OmitGroupSeparator);
  const auto value = static_cast<double>(bytes);
  if (value < BytesPerMiB) return russian.toString(value / 1024, 'f', 1) + QString::fromUtf8(" КиБ");
  if (value < BytesPerMiB * 1024) return russian.toString(value / BytesPerMiB, 'f', 1) + QString::fromUtf8(" МиБ");
  return russian.toString(value / BytesPerMiB / 1024, 'f', 2) + QString::fromUtf8(" ГиБ");
}

QString HistoryDurationText(std::int64_t seconds) {
  if (seconds < 0) return QString();
  return QString("%1:%2:%3")
      .arg(seconds / 3600)
      .arg(seconds / 60 % 60, 2, 10, QChar('0'))
      .arg(seconds % 60, 2, 10, QChar('0'));
}

THistoryModel::THistoryModel(QObject* parent)
    : QAbstractTableModel(parent), FFailureIcon(QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical)) {}

std::optional<std::int64_t> HistoryOwnSeconds(const THistoryRecord& record, const THistoryRecord* before) {
  const auto whole = record.DurationSeconds();
  if (!whole || record.Kind != HistoryKindBackup) return whole;
  std::int64_t others = record.CopySeconds.value_or(0) + record.VerifySeconds.value_or(0);
  if (!record.VerifySeconds && before && before->Kind == HistoryKindVerify && before->Database == record.Database &&
      before->StartSeconds() >= record.StartSeconds() && before->EndSeconds() <= record.EndSeconds())
    others += before->DurationSeconds().value_or(0);
  return std::max<std::int64_t>(0, *whole - others);
}

void THistoryModel::SetRecords(std::vector<THistoryRecord> records) {
  beginResetModel();
  FRecords.clear();
  FRecords.reserve(records.size());
  // Every record's own time first: it may read the record before it.
  std::vector<std::optional<std::int64_t>> own(records.size());
  for (std::size_t i = 0; i < records.size(); ++i)
    own[i] = HistoryOwnSeconds(records[i], i > 0 ? &records[i - 1] : nullptr);
  for (std::size_t i = 0; i < records.size(); ++i) FRecords.push_back({std::move(records[i]), own[i], 0});
  for (TRow& row : FRecords) row.StartSeconds = row.Record.StartSeconds().value_or(INT64_MIN);
  // Records are written when a job ends: a backup after the verification
  // inside it. Shown by their start, latest first; the file's order among
  // equal starts.
  std::reverse(FRecords.begin(), FRecords.end());
  std::stable_sort(FRecords.begin(), FRecords.end(),
                   [](const TRow& a, const TRow& b) { return a.StartSeconds > b.StartSeconds; });
  Filter();
  endResetModel();
}

void THistoryModel::ShowDatabase(const std::string& database) {
  if (database == FDatabase) return;
  beginResetModel();
  FDatabase = database;
  Filter();
  endResetModel();
}

void THistoryModel::Filter() {
  FShown.clear();
  FShown.reserve(FRecords.size());
  for (std::size_t i = 0; i < FRecords.size(); ++i)
    if (FDatabase.empty() || FRecords[i].Record.Database == FDatabase) FShown.push_back(i);
}

int THistoryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(FShown.size());
}

int THistoryModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColCount; }

QString THistoryModel::Text(int row, int column) const {
  const THistoryRecord& r = Record(row);
  switch (column) {
    case ColStart: return StartText(r);
    case ColDuration: return HistoryDurationText(OwnSeconds(row).value_or(-1));
    case ColKind:
      // A physical backup's job names its level.
      return r.Level ? HistoryKindText(r.Kind) + QString::fromUtf8(", ур. %1").arg(*r.Level) : HistoryKindText(r.Kind);
    case ColBy: return r.By == HistoryByPlan ? QString::fromUtf8("план") : QString::fromUtf8("пользователь");
    case ColDatabase: return Q(r.Database);
    case ColFile: return Q(r.File);
    case ColSize: return r.Size ? HistorySizeText(*r.Size) : QString();
    case ColOutcome: return r.Succeeded() ? QString::fromUtf8("успешно") : QString::fromUtf8("ошибка");
    case ColReason: return Q(r.Reason);
    default: return QString();
  }
}

QString THistoryModel::DurationToolTip(int row) const {
  const auto whole = Record(row).DurationSeconds();
  const QString own = Text(row, ColDuration);
  if (!whole || OwnSeconds(row) == whole) return own;
  return own + QString::fromUtf8(" — только резервное копирование; всего с копией и проверкой: ") +
         HistoryDurationText(*whole);
}

// The file's checksum, and the copy on this computer when one was made
// beside the server's file.
QString THistoryModel::FileToolTip(const THistoryRecord& r) {
  std::string tip = r.File;
  if (!r.Sha256.empty()) tip += "\nSHA-256 " + r.Sha256;
  if (!r.Copy.empty() && r.Copy != r.File) {
    tip += "\n" + std::string("Копия на этом компьютере: ") + r.Copy;
    if (!r.CopySha256.empty()) tip += "\nSHA-256 " + r.CopySha256;
  }
  return Q(tip);
}

QVariant THistoryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const THistoryRecord& record = Record(index.row());
  const bool failed = !record.Succeeded();
  switch (role) {
    case Qt::DisplayRole: return Text(index.row(), index.column());
    case Qt::ForegroundRole: return failed ? QVariant(QBrush(Qt::red)) : QVariant();
    case Qt::DecorationRole: return failed && index.column() == ColOutcome ? QVariant(FFailureIcon) : QVariant();
    case Qt::TextAlignmentRole:
      return index.column() == ColSize || index.column() == ColDuration ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                                        : QVariant();
    case Qt::ToolTipRole:
      if (index.column() == ColFile) return FileToolTip(record);
      if (index.column() == ColReason || index.column() == ColOutcome) return Q(record.Reason);
      if (index.column() == ColDuration) return DurationToolTip(index.row());
      return Text(index.row(), index.column());
    default: return {};
  }
}

QVariant THistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
    return QAbstractTableModel::headerData(section, orientation, role);
  static const char* const Captions[ColCount] = {"Начало", "Длительность", "Задание", "Кем",    "База данных",
                                                 "Файл",   "Размер",       "Итог",    "Причина"};
  return section >= 0 && section < ColCount ? QString::fromUtf8(Captions[section]) : QVariant();
}
