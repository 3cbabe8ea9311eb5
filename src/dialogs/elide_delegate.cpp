#include "dialogs/elide_delegate.h"

TElideDelegate::TElideDelegate(QList<int> middle, QObject* parent)
    : QStyledItemDelegate(parent), FMiddle(std::move(middle)) {}

void TElideDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  option->textElideMode = FMiddle.contains(index.column()) ? Qt::ElideMiddle : Qt::ElideRight;
}
