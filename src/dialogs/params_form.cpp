#include "dialogs/params_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "controller/quorvin.h"
#include "dialogs/quorvin_ref.h"

namespace {

QCheckBox* AddCheck(QVBoxLayout* column, const char* caption) {
  auto* box = new QCheckBox(QString::fromUtf8(caption));
  column->addWidget(box);
  return box;
}

}  // namespace

TParamsForm::TParamsForm(QWidget* parent, TQuorvin* controller)
    : TFixedDialog(parent, ResultClose), FController(ControllerOrProgramWide(controller)) {
  setWindowTitle(QString::fromUtf8("Параметры"));

  auto* top = new QVBoxLayout(this);

  auto* protocolRow = new QHBoxLayout;
  Label6 = new QLabel(QString::fromUtf8("Протокол"));
  brProtocol = new QComboBox;
  brProtocol->setEditable(false);
  brProtocol->addItems({"TCP", "SPX", "Named Pipes", "Local"});
  brProtocol->setMinimumWidth(150);
  Label6->setBuddy(brProtocol);
  protocolRow->addWidget(Label6);
  protocolRow->addWidget(brProtocol);
  protocolRow->addStretch(1);
  top->addLayout(protocolRow);

  // The two pages have no tabs: the caller chooses which one shows.
  Notebook = new QStackedWidget;
  Notebook->setFrameShape(QFrame::StyledPanel);
  Notebook->setFrameShadow(QFrame::Sunken);

  auto* backPage = new QWidget;
  auto* back = new QVBoxLayout(backPage);
  chkBK1 = AddCheck(back, "Ignore Check sum");
  chkBK2 = AddCheck(back, "Ignore Limbo Transactions");
  chkBK3 = AddCheck(back, "Metadata Only");
  chkBK4 = AddCheck(back, "Old Metadata Description");
  chkBK5 = AddCheck(back, "No Garbage Collection");
  chkBK6 = AddCheck(back, "Non-Transportable");
  chkBK7 = AddCheck(back, "Convert External Tables");
  BackShutDown = AddCheck(back, "Shutdown DB");
  cbAutoBackName = AddCheck(back, "Генерировать имя резервной копии");
  back->addStretch(1);
  Notebook->addWidget(backPage);

  auto* restPage = new QWidget;
  auto* rest = new QVBoxLayout(restPage);
  chkRS1 = AddCheck(rest, "Deactivate Indexes");
  chkRS2 = AddCheck(rest, "No Shadow Files");
  chkRS3 = AddCheck(rest, "No Validity Check");
  chkRS4 = AddCheck(rest, "One Relation At A Time");
  chkRS5 = AddCheck(rest, "Replace");
  chkRS6 = AddCheck(rest, "Create New Database");
  chkRS7 = AddCheck(rest, "Use All Space");
  rest->addStretch(1);
  Notebook->addWidget(restPage);
  top->addWidget(Notebook, 1);

  // The states the layout itself holds; opening the dialog overwrites them.
  chkBK2->setChecked(true);
  BackShutDown->setChecked(true);
  chkRS5->setChecked(true);

  auto* buttons = new QHBoxLayout;
  bbSave = new QPushButton(QString::fromUtf8("Сохранить"));
  bbClose = new QPushButton(QString::fromUtf8("Закрыть"));
  PlainButton(bbSave);
  PlainButton(bbClose);
  buttons->addStretch(1);
  buttons->addWidget(bbSave);
  buttons->addWidget(bbClose);
  top->addLayout(buttons);

  connect(bbSave, &QPushButton::clicked, this, [this] { bbSaveClick(); });
  connect(bbClose, &QPushButton::clicked, this, [this] { bbCloseClick(); });

  FSwitches = {
      {BackShutDown, &TQuorvin::BackShutDown},
      {chkBK1, &TQuorvin::BackParam1},
      {chkBK2, &TQuorvin::BackParam2},
      {chkBK3, &TQuorvin::BackParam3},
      {chkBK4, &TQuorvin::BackParam4},
      {chkBK5, &TQuorvin::BackParam5},
      {chkBK6, &TQuorvin::BackParam6},
      {chkBK7, &TQuorvin::BackParam7},
      {chkRS1, &TQuorvin::RestParam1},
      {chkRS2, &TQuorvin::RestParam2},
      {chkRS3, &TQuorvin::RestParam3},
      {chkRS4, &TQuorvin::RestParam4},
      {chkRS5, &TQuorvin::RestParam5},
      {chkRS6, &TQuorvin::RestParam6},
      {chkRS7, &TQuorvin::RestParam7},
      {cbAutoBackName, &TQuorvin::AutoBackName},
  };

  FixClientSize(318, 269);
}

void TParamsForm::LoadParams(int page) {
  Notebook->setCurrentIndex(page);
  const int protocol = FController.Protocol;
  brProtocol->setCurrentIndex(protocol >= 0 && protocol < brProtocol->count() ? protocol : -1);
  for (const auto& [box, field] : FSwitches) box->setChecked(FController.*field);
}

int TParamsForm::ShowParams(int page) {
  LoadParams(page);
  return exec();
}

void TParamsForm::bbSaveClick() {
  FController.Protocol = brProtocol->currentIndex();
  for (const auto& [box, field] : FSwitches) FController.*field = box->isChecked();
  done(ResultSave);
}

void TParamsForm::bbCloseClick() { done(ResultClose); }
