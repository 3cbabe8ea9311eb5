#include "dialogs/params_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <initializer_list>

#include "dialogs/offsite_group.h"

namespace {

// A page of check boxes, one under the other; each box is stored where its
// item says.
QWidget* CheckPage(std::initializer_list<std::pair<QCheckBox**, const char*>> items) {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  for (const auto& [box, caption] : items) {
    *box = new QCheckBox(QString::fromUtf8(caption));
    column->addWidget(*box);
  }
  column->addStretch(1);
  return page;
}

}  // namespace

TParamsForm::TParamsForm(QWidget* parent, TDatabaseOptions& options)
    : TFixedDialog(parent, ResultClose), FOptions(options) {
  setWindowTitle(QString::fromUtf8("Параметры"));
  auto* top = new QVBoxLayout(this);
  BuildProtocolRow(top);
  BuildPages(top);
  BuildButtons(top);
  // clang-format off
  FSwitches = {
      {BackShutDown, &TDatabaseOptions::BackShutDown},
      {chkBK1, &TDatabaseOptions::BackParam1},
      {chkBK2, &TDatabaseOptions::BackParam2},
      {chkBK3, &TDatabaseOptions::BackParam3},
      {chkBK4, &TDatabaseOptions::BackParam4},
      {chkBK5, &TDatabaseOptions::BackParam5},
      {chkBK6, &TDatabaseOptions::BackParam6},
      {chkBK7, &TDatabaseOptions::BackParam7},
      {chkRS1, &TDatabaseOptions::RestParam1},
      {chkRS2, &TDatabaseOptions::RestParam2},
      {chkRS3, &TDatabaseOptions::RestParam3},
      {chkRS4, &TDatabaseOptions::RestParam4},
      {chkRS5, &TDatabaseOptions::RestParam5},
      {chkRS6, &TDatabaseOptions::RestParam6},
      {chkRS7, &TDatabaseOptions::RestParam7},
      {cbAutoBackName, &TDatabaseOptions::AutoBackName},
      {cbVerifyBackup, &TDatabaseOptions::VerifyBackup},
  };
  // clang-format on
  FixClientSize(318, 269);
}

void TParamsForm::BuildProtocolRow(QVBoxLayout* top) {
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
}

void TParamsForm::BuildPages(QVBoxLayout* top) {
  // The two pages have no tabs: the caller chooses which one shows.
  Notebook = new QStackedWidget;
  Notebook->setFrameShape(QFrame::StyledPanel);
  Notebook->setFrameShadow(QFrame::Sunken);
  Notebook->addWidget(CheckPage({{&chkBK1, "Ignore Check sum"},
                                 {&chkBK2, "Ignore Limbo Transactions"},
                                 {&chkBK3, "Metadata Only"},
                                 {&chkBK4, "Old Metadata Description"},
                                 {&chkBK5, "No Garbage Collection"},
                                 {&chkBK6, "Non-Transportable"},
                                 {&chkBK7, "Convert External Tables"},
                                 {&BackShutDown, "Shutdown DB"},
                                 {&cbAutoBackName, "Генерировать имя резервной копии"},
                                 {&cbVerifyBackup, "Проверять копию восстановлением"}}));
  auto* backColumn = static_cast<QVBoxLayout*>(Notebook->widget(0)->layout());
  backColumn->insertWidget(backColumn->count() - 1, BuildLocalCopyGroup());
  FOffsite = new TOffsiteGroup;
  backColumn->insertWidget(backColumn->count() - 1, FOffsite);
  Notebook->addWidget(CheckPage({{&chkRS1, "Deactivate Indexes"},
                                 {&chkRS2, "No Shadow Files"},
                                 {&chkRS3, "No Validity Check"},
                                 {&chkRS4, "One Relation At A Time"},
                                 {&chkRS5, "Replace"},
                                 {&chkRS6, "Create New Database"},
                                 {&chkRS7, "Use All Space"}}));
  top->addWidget(Notebook, 1);
  // The states the layout itself holds; opening the dialog overwrites them.
  chkBK2->setChecked(true);
  BackShutDown->setChecked(true);
  chkRS5->setChecked(true);
}

QGroupBox* TParamsForm::BuildLocalCopyGroup() {
  gbLocalCopy = new QGroupBox(QString::fromUtf8("Копия на этом компьютере"));
  gbLocalCopy->setCheckable(true);
  gbLocalCopy->setChecked(false);
  auto* column = new QVBoxLayout(gbLocalCopy);
  auto* folderRow = new QHBoxLayout;
  eLocalCopyDir = new QLineEdit;
  eLocalCopyDir->setPlaceholderText(QString::fromUtf8("Папка"));
  sbLocalCopyDir = new QToolButton;
  sbLocalCopyDir->setText("...");
  folderRow->addWidget(eLocalCopyDir, 1);
  folderRow->addWidget(sbLocalCopyDir);
  column->addLayout(folderRow);
  chkLocalCopyOnly = new QCheckBox(QString::fromUtf8("Только копия"));
  column->addWidget(chkLocalCopyOnly);
  connect(sbLocalCopyDir, &QToolButton::clicked, this, [this] { sbLocalCopyDirClick(); });
  ChooseFolder = [this](const QString& current) {
    return QFileDialog::getExistingDirectory(this, QString::fromUtf8("Выберите папку"), current,
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  };
  return gbLocalCopy;
}

void TParamsForm::BuildButtons(QVBoxLayout* top) {
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
}

void TParamsForm::LoadParams(int page) {
  Notebook->setCurrentIndex(page);
  const int protocol = FOptions.Protocol;
  brProtocol->setCurrentIndex(protocol >= 0 && protocol < brProtocol->count() ? protocol : -1);
  for (const auto& [box, field] : FSwitches) box->setChecked(FOptions.*field);
  gbLocalCopy->setChecked(!FOptions.LocalCopyDir.empty());
  eLocalCopyDir->setText(QString::fromStdString(FOptions.LocalCopyDir));
  chkLocalCopyOnly->setChecked(FOptions.LocalCopyOnly);
  FOffsite->Load(FOptions.Offsite);
}

int TParamsForm::ShowParams(int page) {
  LoadParams(page);
  return exec();
}

void TParamsForm::bbSaveClick() {
  // A copy asked for without a folder: the folder is asked for; without an
  // answer nothing is saved and the dialog stays.
  if (gbLocalCopy->isChecked() && eLocalCopyDir->text().trimmed().isEmpty()) {
    sbLocalCopyDirClick();
    if (eLocalCopyDir->text().trimmed().isEmpty()) {
      eLocalCopyDir->setFocus();
      return;
    }
  }
  if (const auto problem = FOffsite->Problem()) {
    // The group is on the backup page: the user sees the control at fault.
    Notebook->setCurrentIndex(0);
    QMessageBox::warning(this, windowTitle(), *problem);
    return;
  }
  FOptions.Protocol = brProtocol->currentIndex();
  for (const auto& [box, field] : FSwitches) FOptions.*field = box->isChecked();
  const std::string folder = eLocalCopyDir->text().trimmed().toStdString();
  const bool copy = gbLocalCopy->isChecked() && !folder.empty();
  FOptions.LocalCopyDir = copy ? folder : std::string();
  FOptions.LocalCopyOnly = copy && chkLocalCopyOnly->isChecked();
  FOffsite->Store(FOptions.Offsite);
  done(ResultSave);
}

void TParamsForm::sbLocalCopyDirClick() {
  const QString folder = ChooseFolder(eLocalCopyDir->text());
  if (!folder.isEmpty()) eLocalCopyDir->setText(folder);
}

void TParamsForm::bbCloseClick() { done(ResultClose); }
