#include "dialogs/radio_group.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), FButtons(new QButtonGroup(this)), FGrid(new QGridLayout(this)) {
  FButtons->setExclusive(true);
  FGrid->setVerticalSpacing(2);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items.at(i), this);
    FButtons->addButton(button, i);
    FGrid->addWidget(button, i, 0);
  }
  FGrid->setColumnStretch(2, 1);
  connect(FButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked && OnClick) OnClick();
  });
}

int TRadioGroup::Count() const { return static_cast<int>(FButtons->buttons().size()); }

int TRadioGroup::ItemIndex() const { return FButtons->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
  if (QAbstractButton* button = FButtons->button(index)) button->setChecked(true);
}

QRadioButton* TRadioGroup::Button(int index) const {
  return static_cast<QRadioButton*>(FButtons->button(index));
}

void TRadioGroup::PlaceBeside(int index, QWidget* widget) {
  FGrid->addWidget(widget, index, 1, Qt::AlignLeft | Qt::AlignVCenter);
}
