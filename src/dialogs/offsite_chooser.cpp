#include "dialogs/offsite_chooser.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum TColumn { ColName, ColSize, ColDate, ColCount };

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Exact bytes: copies of one database differ by little.
QString SizeText(std::uint64_t bytes) {
  return QLocale(QLocale::Russian, QLocale::Russia).toString(static_cast<qulonglong>(bytes)) +
         QString::fromUtf8(" байт");
}

QString DateText(std::int64_t seconds) {
  if (seconds <= 0) return QString();
  return QDateTime::fromSecsSinceEpoch(seconds).toLocalTime().toString("dd.MM.yyyy HH:mm:ss");
}

}  // namespace

TOffsiteChooser::TOffsiteChooser(QWidget* parent, const std::vector<TStoredCopy>& copies) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("Копии в объектном хранилище"));
  FList = new QTreeWidget(this);
  FList->setObjectName("lvCopies");
  FList->setRootIsDecorated(false);
  FList->setColumnCount(ColCount);
  FList->setHeaderLabels({QString::fromUtf8("Копия"), QString::fromUtf8("Размер"), QString::fromUtf8("Дата")});
  FList->header()->setSectionResizeMode(ColName, QHeaderView::Stretch);
  FOk = new QPushButton("OK", this);
  FOk->setObjectName("bbOk");
  auto* cancel = new QPushButton(QString::fromUtf8("Отмена"), this);
  cancel->setObjectName("bbCancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(FOk);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(FList);
  if (copies.empty()) layout->addWidget(new QLabel(QString::fromUtf8("В хранилище нет копий"), this));
  layout->addLayout(buttons);
  resize(640, 360);
  Fill(copies);

  connect(FList, &QTreeWidget::itemSelectionChanged, this, [this] { FOk->setEnabled(!ChosenUrl().empty()); });
  connect(FList, &QTreeWidget::itemDoubleClicked, this, [this] { accept(); });
  connect(FOk, &QPushButton::clicked, this, [this] { accept(); });
  connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
}

void TOffsiteChooser::Fill(const std::vector<TStoredCopy>& copies) {
  for (const TStoredCopy& copy : copies) {
    auto* item = new QTreeWidgetItem(FList, {Q(copy.Name), SizeText(copy.Size), DateText(copy.Modified)});
    item->setData(ColName, Qt::UserRole, static_cast<int>(FUrls.size()));
    item->setTextAlignment(ColSize, Qt::AlignRight | Qt::AlignVCenter);
    FUrls.push_back(copy.Location);
  }
  FOk->setEnabled(false);
}

std::string TOffsiteChooser::ChosenUrl() const {
  const QList<QTreeWidgetItem*> chosen = FList->selectedItems();
  if (chosen.isEmpty()) return {};
  return FUrls.at(static_cast<std::size_t>(chosen.first()->data(ColName, Qt::UserRole).toInt()));
}
