#pragma once
// TRadioGroup: a titled box of radio buttons chosen by index, with a handler
// that runs whenever the selection changes (by the user or by the program).

#include <QGroupBox>
#include <QList>
#include <QStringList>
#include <functional>

class QButtonGroup;
class QHBoxLayout;
class QRadioButton;

class TRadioGroup : public QGroupBox {
 public:
  TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);

  int Count() const;
  // The selected item, −1 for none.
  int ItemIndex() const;
  // Selects item `index` (nothing for an index outside the items). Selecting
  // an item other than the selected one runs OnClick.
  void SetItemIndex(int index);
  QRadioButton* Button(int index) const;
  // Places `widget` on the line of item `index`, to the right of it.
  void PlaceBeside(int index, QWidget* widget);

  std::function<void()> OnClick;

 private:
  QButtonGroup* FButtons;
  QList<QHBoxLayout*> FRows;
};
