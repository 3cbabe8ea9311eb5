#include "dialogs/radio_group.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), FButtons(new QButtonGroup(this)) {
  FButtons->setExclusive(true);
  auto* column = new QVBoxLayout(this);
  column->setSpacing(2);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items.at(i), this);
    FButtons->addButton(button, i);
    auto* row = new QHBoxLayout;
    row->addWidget(button);
    row->addStretch(1);
    column->addLayout(row);
    FRows.append(row);
  }
  column->addStretch(1);
  connect(FButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked && OnClick) OnClick();
  });
}

int TRadioGroup::Count() const { return static_cast<int>(FButtons->buttons().size()); }

int TRadioGroup::ItemIndex() const { return FButtons->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
  if (QAbstractButton* button = FButtons->button(index)) button->setChecked(true);
}

QRadioButton* TRadioGroup::Button(int index) const { return static_cast<QRadioButton*>(FButtons->button(index)); }

void TRadioGroup::PlaceBeside(int index, QWidget* widget) {
  if (index < 0 || index >= FRows.size()) return;
  // Right after the item's button, before the row's stretch.
  FRows.at(index)->insertWidget(1, widget);
}
