#pragma once
// TElideDelegate: draws a table's cells as the view does, each column's text
// cut where it fits in its own way: a path in the middle (its start and its
// file name stay), other texts at their end. The whole text stays in the
// cell's tool tip.

#include <QList>
#include <QStyledItemDelegate>

class TElideDelegate : public QStyledItemDelegate {
 public:
  // `middle`: the columns whose texts are cut in the middle; the others are
  // cut at the end.
  TElideDelegate(QList<int> middle, QObject* parent);

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  QList<int> FMiddle;
};
