#include "dialogs/plan_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>
#include <exception>

#include "controller/plan/plan.h"
#include "controller/plan/plan_summary.h"
#include "dialogs/elide_delegate.h"
#include "dialogs/params_form.h"
#include "dialogs/radio_group.h"
#include "dialogs/time_of_day.h"
#include "dialogs/time_picker.h"

namespace {

QStringList PeriodItems() {
  return {QString::fromUtf8("Ничего"),        QString::fromUtf8("раз в 20 мин."),
          QString::fromUtf8("раз в 30 мин."), QString::fromUtf8("раз в 1 час"),
          QString::fromUtf8("раз в 2 часа"),  QString::fromUtf8("раз в 3 часа"),
          QString::fromUtf8("раз в 4 часа"),  QString::fromUtf8("в ")};
}

QDateTimeEdit* NewPicker(QWidget* parent) {
  auto* picker = new TTimePicker(QDateTime(TPlanForm::PickerDate(), QTime(0, 0)), parent);
  picker->setDisplayFormat("HH:mm:ss");
  picker->setCurrentSection(QDateTimeEdit::HourSection);
  return picker;
}

void SetTimeOfDay(QDateTimeEdit* picker, TDateTime value) { picker->setTime(TimeOfDayToQTime(value)); }

QCheckBox* AddDay(QVBoxLayout* column, const char* caption, bool red) {
  auto* box = new QCheckBox(QString::fromUtf8(caption));
  if (red) {
    QPalette palette = box->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    palette.setColor(QPalette::ButtonText, Qt::red);
    box->setPalette(palette);
  }
  column->addWidget(box);
  return box;
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The text of a field as bytes: the entry's own while the text shows them
// unchanged (a name in another encoding keeps its bytes).
std::string BytesOf(const QString& text, const std::string& original) {
  return text == Q(original) ? original : text.toStdString();
}

// The entry's rhythm in a few words; an incremental entry's by level.
QString RhythmText(const TPlanEntry& entry) {
  if (!entry.Incremental()) return Q(PlanSummary(entry.PlanRecord));
  QString text = QString::fromUtf8("ур. 0: ") + Q(PlanSummary(entry.PlanRecord));
  for (int level = 1; level <= PlanLevels; ++level) {
    const TPlanRecord& plan = entry.LevelPlans.Level[level - 1];
    if (PlanOnAnyDay(plan)) text += QString::fromUtf8(" | ур. %1: ").arg(level) + Q(PlanSummary(plan));
  }
  return text;
}

QString LastOutcomeText(const TJobReport* report) {
  if (report == nullptr || report->Ended == 0) return {};
  const QString when = Q(FormatDateTime("dd.mm hh:nn", report->Ended));
  if (!report->Succeeded) return when + QString::fromUtf8(" НЕ создана: ") + Q(report->Reason);
  return when + QString::fromUtf8(report->Warnings.empty() ? " создана" : " создана с предупреждением");
}

}  // namespace

TPlanForm::TPlanForm(QWidget* parent, TSettings& settings, const TPlan* plan, TSavePlan savePlan)
    : TFixedDialog(parent, ResultOther), FSettings(settings), FPlan(plan), FSavePlan(std::move(savePlan)) {
  setWindowTitle(QString::fromUtf8("Расписание"));
  EditOptions = [this](TDatabaseOptions& options) {
    TParamsForm dialog(this, options);
    dialog.ShowParams(0);
  };
  auto* top = new QVBoxLayout(this);
  top->addWidget(BuildListFrame(), 1);
  top->addLayout(BuildDatabaseRow());
  top->addLayout(BuildEntryOptionsRow());
  top->addLayout(BuildKindRow());
  auto* frames = new QHBoxLayout;
  top->addLayout(frames);
  frames->addWidget(BuildWeekFrame());
  frames->addWidget(BuildWindowFrame(), 1);
  top->addWidget(BuildRhythmProblem());
  top->addWidget(BuildRetentionFrame());
  BuildButtons(top);

  // Both groups start on "Ничего" with their clock pickers disabled.
  rbDayBack->SetItemIndex(0);
  rbNightBack->SetItemIndex(0);
  SetClockEnabled(false, dtDayBack);
  SetClockEnabled(false, dtNightBack);
  rbDayBack->OnClick = [this] {
    rbDayBackClick();
    EntryEdited();
  };
  rbNightBack->OnClick = [this] {
    rbNightBackClick();
    EntryEdited();
  };
  FollowEdits();
  NameControls();

  StartClientSize(ClientWidth, ClientHeight);
  bbOk->setFocus();
  FormCreate();
}

void TPlanForm::NameControls() {
  const std::pair<QWidget*, const char*> names[] = {{cbDay1Back, "cbDay1Back"},
                                                    {cbDay2Back, "cbDay2Back"},
                                                    {cbDay3Back, "cbDay3Back"},
                                                    {cbDay4Back, "cbDay4Back"},
                                                    {cbDay5Back, "cbDay5Back"},
                                                    {cbDay6Back, "cbDay6Back"},
                                                    {cbDay7Back, "cbDay7Back"},
                                                    {dtDayBeginBack, "dtDayBeginBack"},
                                                    {dtNightBeginBack, "dtNightBeginBack"},
                                                    {rbDayBack, "rbDayBack"},
                                                    {dtDayBack, "dtDayBack"},
                                                    {rbNightBack, "rbNightBack"},
                                                    {dtNightBack, "dtNightBack"},
                                                    {eDataBase, "eDataBase"},
                                                    {cbBackupKind, "cbBackupKind"},
                                                    {cbLevel, "cbLevel"},
                                                    {bbStart, "bbStart"},
                                                    {bbOk, "bbOk"},
                                                    {bbCancel, "bbCancel"}};
  for (const auto& [widget, name] : names) widget->setObjectName(name);
}

void TPlanForm::FollowEdits() {
  for (QCheckBox* day : {cbDay1Back, cbDay2Back, cbDay3Back, cbDay4Back, cbDay5Back, cbDay6Back, cbDay7Back})
    connect(day, &QCheckBox::toggled, this, [this] { EntryEdited(); });
  for (QDateTimeEdit* picker : {dtDayBeginBack, dtNightBeginBack, dtDayBack, dtNightBack})
    connect(picker, &QDateTimeEdit::timeChanged, this, [this] { EntryEdited(); });
  connect(eDataBase, &QLineEdit::textEdited, this, [this] { EntryEdited(); });
}

// Under the windows: why a chosen rhythm never runs. Three lines are kept
// for it whether there is anything to say or not, so the dialog keeps its
// size; the whole text is in its tool tip too.
QLabel* TPlanForm::BuildRhythmProblem() {
  lbRhythmProblem = new QLabel;
  lbRhythmProblem->setObjectName("lbRhythmProblem");
  lbRhythmProblem->setWordWrap(true);
  lbRhythmProblem->setTextFormat(Qt::PlainText);
  QPalette palette = lbRhythmProblem->palette();
  palette.setColor(QPalette::WindowText, Qt::red);
  lbRhythmProblem->setPalette(palette);
  lbRhythmProblem->setFixedHeight(3 * lbRhythmProblem->fontMetrics().lineSpacing());
  lbRhythmProblem->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lbRhythmProblem->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  return lbRhythmProblem;
}

void TPlanForm::EntryEdited() {
  if (FLoading || FCurrent < 0) return;
  StoreEntry(FCurrent);
  FillRow(FCurrent);
  ShowRhythmProblem();
}

void TPlanForm::ShowRhythmProblem() {
  if (FCurrent < 0) return;
  const QString problem = Q(RhythmProblemText(EditedPlan(FEntries[static_cast<std::size_t>(FCurrent)])));
  lbRhythmProblem->setText(problem);
  lbRhythmProblem->setToolTip(problem);
}

// Top: the plan's databases, one line each, and below them the buttons that
// change the list. Every column shares the list's width (none runs past its
// edge): names are cut in the middle, other texts at their end, each whole
// in its tool tip.
QFrame* TPlanForm::BuildListFrame() {
  auto* frame = new QFrame;
  frame->setFrameShape(QFrame::StyledPanel);
  auto* column = new QVBoxLayout(frame);
  twEntries = new QTableWidget(0, ColumnCount, frame);
  twEntries->setObjectName("twEntries");
  twEntries->setHorizontalHeaderLabels({QString::fromUtf8("База данных"), QString::fromUtf8("Расписание"),
                                        QString::fromUtf8("Следующая копия"),
                                        QString::fromUtf8("Последний результат")});
  twEntries->setSelectionBehavior(QAbstractItemView::SelectRows);
  twEntries->setSelectionMode(QAbstractItemView::SingleSelection);
  twEntries->setEditTriggers(QAbstractItemView::NoEditTriggers);
  twEntries->verticalHeader()->hide();
  twEntries->setWordWrap(false);
  twEntries->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  twEntries->setItemDelegate(new TElideDelegate({ColumnDatabase}, twEntries));
  QHeaderView* header = twEntries->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::Stretch);
  header->setSectionResizeMode(ColumnNext, QHeaderView::ResizeToContents);
  twEntries->setMinimumHeight(110);
  FitEntries();
  column->addWidget(twEntries, 1);
  auto* buttons = new QHBoxLayout;
  bbAddEntry = new QPushButton(QString::fromUtf8("Добавить"));
  bbAddEntry->setObjectName("bbAddEntry");
  bbAddCurrent = new QPushButton(QString::fromUtf8("Добавить текущую"));
  bbAddCurrent->setObjectName("bbAddCurrent");
  bbRemoveEntry = new QPushButton(QString::fromUtf8("Удалить"));
  bbRemoveEntry->setObjectName("bbRemoveEntry");
  for (QPushButton* button : {bbAddEntry, bbAddCurrent, bbRemoveEntry}) {
    PlainButton(button);
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  column->addLayout(buttons);
  connect(twEntries, &QTableWidget::currentCellChanged, this,
          [this](int current, int, int, int) { SelectEntry(current); });
  connect(bbAddEntry, &QPushButton::clicked, this, [this] { bbAddEntryClick(); });
  connect(bbAddCurrent, &QPushButton::clicked, this, [this] { bbAddCurrentClick(); });
  connect(bbRemoveEntry, &QPushButton::clicked, this, [this] { bbRemoveEntryClick(); });
  return frame;
}

// Left: the weekdays.
QFrame* TPlanForm::BuildWeekFrame() {
  auto* weekFrame = new QFrame;
  weekFrame->setFrameShape(QFrame::StyledPanel);
  auto* weekFrameLayout = new QVBoxLayout(weekFrame);
  auto* week = new QGroupBox(QString::fromUtf8(" Неделя "));
  auto* days = new QVBoxLayout(week);
  cbDay1Back = AddDay(days, "Понедельник", false);
  cbDay2Back = AddDay(days, "Вторник", false);
  cbDay3Back = AddDay(days, "Среда", false);
  cbDay4Back = AddDay(days, "Четверг", false);
  cbDay5Back = AddDay(days, "Пятница", false);
  cbDay6Back = AddDay(days, "Суббота", true);
  cbDay7Back = AddDay(days, "Воскресенье", true);
  days->addStretch(1);
  weekFrameLayout->addWidget(week);
  return weekFrame;
}

// Right: the day column and the night column, each a start time over a
// rhythm whose last item has its clock-time picker beside it.
QFrame* TPlanForm::BuildWindowFrame() {
  auto* windowFrame = new QFrame;
  windowFrame->setFrameShape(QFrame::StyledPanel);
  auto* columns = new QGridLayout(windowFrame);
  columns->addLayout(StartRow(windowFrame, "День", Label4, dtDayBeginBack), 0, 0);
  columns->addLayout(StartRow(windowFrame, "Ночь", Label5, dtNightBeginBack), 0, 1);
  rbDayBack = RhythmGroup(windowFrame, " Днем ", dtDayBack);
  columns->addWidget(rbDayBack, 1, 0);
  rbNightBack = RhythmGroup(windowFrame, " Ночью ", dtNightBack);
  columns->addWidget(rbNightBack, 1, 1);
  cbStartWithSession = new QCheckBox(QString::fromUtf8("Запускать вместе с сеансом"));
  cbResumePlan = new QCheckBox(QString::fromUtf8("Продолжать расписание после перезапуска"));
  cbResumePlan->setToolTip(QString::fromUtf8("Нужен запомненный пароль («Помнить» на вкладке пользователя)"));
  columns->addWidget(cbStartWithSession, 2, 0, 1, 2);
  columns->addWidget(cbResumePlan, 3, 0, 1, 2);
  return windowFrame;
}

QHBoxLayout* TPlanForm::StartRow(QWidget* frame, const char* caption, QLabel*& label, QDateTimeEdit*& picker) {
  label = new QLabel(QString::fromUtf8(caption));
  picker = NewPicker(frame);
  label->setBuddy(picker);
  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(picker);
  row->addStretch(1);
  return row;
}

TRadioGroup* TPlanForm::RhythmGroup(QWidget* frame, const char* caption, QDateTimeEdit*& clockPicker) {
  auto* group = new TRadioGroup(QString::fromUtf8(caption), PeriodItems(), frame);
  clockPicker = NewPicker(group);
  group->PlaceBeside(ClockItem, clockPicker);
  return group;
}

QHBoxLayout* TPlanForm::BuildDatabaseRow() {
  LabelDataBase = new QLabel(QString::fromUtf8("База данных:"));
  eDataBase = new QLineEdit;
  eDataBase->setPlaceholderText(QString::fromUtf8("не выбрана"));
  LabelDataBase->setBuddy(eDataBase);
  auto* row = new QHBoxLayout;
  row->addWidget(LabelDataBase);
  row->addWidget(eDataBase, 1);
  connect(eDataBase, &QLineEdit::textEdited, this, [this] {
    StoreEntry(FCurrent);
    FillRow(FCurrent);
  });
  return row;
}

// The selected entry's own protocol and switches, and its own login.
QHBoxLayout* TPlanForm::BuildEntryOptionsRow() {
  bbEntryParams = new QPushButton(QString::fromUtf8("Параметры..."));
  PlainButton(bbEntryParams);
  cbOwnLogin = new QCheckBox(QString::fromUtf8("Свой пользователь"));
  eEntryUser = new QLineEdit;
  eEntryUser->setPlaceholderText(QString::fromUtf8("Пользователь"));
  eEntryPass = new QLineEdit;
  eEntryPass->setEchoMode(QLineEdit::Password);
  eEntryPass->setPlaceholderText(QString::fromUtf8("Пароль"));
  auto* row = new QHBoxLayout;
  row->addWidget(bbEntryParams);
  row->addSpacing(12);
  row->addWidget(cbOwnLogin);
  row->addWidget(eEntryUser, 1);
  row->addWidget(eEntryPass, 1);
  connect(bbEntryParams, &QPushButton::clicked, this, [this] { bbEntryParamsClick(); });
  connect(cbOwnLogin, &QCheckBox::toggled, this, [this](bool own) {
    eEntryUser->setEnabled(own);
    eEntryPass->setEnabled(own);
  });
  return row;
}

// The kind of backups the entry's plan makes and the level being edited.
QHBoxLayout* TPlanForm::BuildKindRow() {
  auto* label = new QLabel(QString::fromUtf8("Вид копий:"));
  cbBackupKind = new QComboBox;
  cbBackupKind->addItems({QString::fromUtf8("Логическая (gbak)"), QString::fromUtf8("Инкрементная (nbackup)")});
  label->setBuddy(cbBackupKind);
  auto* levelLabel = new QLabel(QString::fromUtf8("Расписание уровня:"));
  cbLevel = new QComboBox;
  cbLevel->addItems({QString::fromUtf8("0 (полная копия)"), QString::fromUtf8("1"), QString::fromUtf8("2")});
  cbLevel->setToolTip(QString::fromUtf8("Когда уровни совпадают по времени, делается копия меньшего уровня"));
  levelLabel->setBuddy(cbLevel);
  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(cbBackupKind);
  row->addSpacing(12);
  row->addWidget(levelLabel);
  row->addWidget(cbLevel);
  row->addStretch(1);
  connect(cbBackupKind, &QComboBox::activated, this, [this] {
    if (cbBackupKind->currentIndex() != TDatabaseOptions::BackupKindIncremental) cbLevel->setCurrentIndex(0);
    LevelChanged();
    FillRow(FCurrent);
  });
  connect(cbLevel, &QComboBox::activated, this, [this] { LevelChanged(); });
  return row;
}

TPlanRecord& TPlanForm::EditedPlan(TPlanEntry& entry) {
  return FLevel == 0 ? entry.PlanRecord : entry.LevelPlans.Level[FLevel - 1];
}

void TPlanForm::LevelChanged() {
  if (FCurrent < 0) return;
  TPlanEntry& entry = FEntries[static_cast<std::size_t>(FCurrent)];
  StorePlanInto(EditedPlan(entry));
  entry.BackupKind = cbBackupKind->currentIndex();
  const bool incremental = entry.Incremental();
  cbLevel->setEnabled(incremental);
  FLevel = incremental ? cbLevel->currentIndex() : 0;
  LoadPlan(EditedPlan(entry));
  // The list shows every level's rhythm as edited so far.
  FillRow(FCurrent);
  ShowRhythmProblem();
}

// Bottom: how many of the plan's backups stay, "Хранить последние" N
// "копий", and from what age they go, "Удалять старше" D "дней".
QFrame* TPlanForm::BuildRetentionFrame() {
  auto* frame = new QFrame;
  frame->setFrameShape(QFrame::StyledPanel);
  auto* row = new QHBoxLayout(frame);
  const auto spin = [&](const char* before, const char* after) {
    auto* box = new QSpinBox(frame);
    box->setRange(0, 9999);
    box->setToolTip(QString::fromUtf8("0 — без ограничения"));
    auto* label = new QLabel(QString::fromUtf8(before), frame);
    label->setBuddy(box);
    row->addWidget(label);
    row->addWidget(box);
    row->addWidget(new QLabel(QString::fromUtf8(after), frame));
    return box;
  };
  seKeepLastBackups = spin("Хранить последние", "копий");
  row->addSpacing(16);
  seKeepBackupDays = spin("Удалять старше", "дней");
  row->addStretch(1);
  return frame;
}

void TPlanForm::BuildButtons(QVBoxLayout* top) {
  auto* buttons = new QHBoxLayout;
  bbStart = new QPushButton(QString::fromUtf8("Запустить"));
  bbStart->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
  bbStart->setLayoutDirection(Qt::RightToLeft);  // the picture right of the text
  bbOk = new QPushButton(QString::fromUtf8("Сохранить"));
  bbCancel = new QPushButton(QString::fromUtf8("Закрыть"));
  for (QPushButton* button : {bbStart, bbOk, bbCancel}) PlainButton(button);
  buttons->addStretch(1);
  buttons->addWidget(bbStart);
  buttons->addWidget(bbOk);
  buttons->addWidget(bbCancel);
  top->addLayout(buttons);
  connect(bbStart, &QPushButton::clicked, this, [this] { bbStartClick(); });
  connect(bbOk, &QPushButton::clicked, this, [this] { bbOkClick(); });
  connect(bbCancel, &QPushButton::clicked, this, [this] { bbCancelClick(); });
}

void TPlanForm::FormCreate() {
  FEntries = PlanEntriesOf(FSettings);
  FWindowDatabase = FSettings.DataBase;
  cbStartWithSession->setChecked(FSettings.StartWithSession);
  cbResumePlan->setChecked(FSettings.ResumePlan);
  FCurrent = -1;
  FillList();
  SelectEntry(0);
}

void TPlanForm::SetPlanDatabase(const std::string& database) {
  FWindowDatabase = database;
  // A plan of one database backs up the one the window names.
  if (FEntries.size() == 1 && FSettings.PlanDataBase.empty()) {
    FEntries.front().DataBase = database;
    FillRow(0);
    if (FCurrent == 0) LoadEntry(0);
  }
}

void TPlanForm::FillList() {
  twEntries->setRowCount(static_cast<int>(FEntries.size()));
  for (int row = 0; row < twEntries->rowCount(); ++row) FillRow(row);
}

void TPlanForm::FillRow(int row) {
  if (row < 0 || row >= static_cast<int>(FEntries.size())) return;
  const TPlanEntry& entry = FEntries[static_cast<std::size_t>(row)];
  QString next;
  if (FPlan) {
    for (const TNextBackup& backup : FPlan->NextBackups({entry}))
      next = Q(FormatDateTime("dd.mm.yyyy hh:nn", backup.When));
  }
  const QString database = entry.DataBase.empty() ? QString::fromUtf8("не выбрана") : Q(entry.DataBase);
  const QString texts[ColumnCount] = {database, RhythmText(entry), next,
                                      LastOutcomeText(FPlan ? FPlan->LastReportOf(entry.Id) : nullptr)};
  for (int column = 0; column < ColumnCount; ++column) {
    QTableWidgetItem* item = twEntries->item(row, column);
    if (item == nullptr) {
      item = new QTableWidgetItem;
      twEntries->setItem(row, column, item);
    }
    item->setText(texts[column]);
    item->setToolTip(texts[column]);
  }
}

void TPlanForm::FitEntries() {
  // The list never narrower than its captions: the columns that share its
  // width each get at least the widest of theirs, the date column its own.
  // It depends on no line's text, so the dialog never resizes itself.
  constexpr int CaptionMargin = 16;
  const QFontMetrics metrics = twEntries->horizontalHeader()->fontMetrics();
  int widest = 0;
  for (int column = 0; column < ColumnCount; ++column) {
    if (column == ColumnNext) continue;
    widest = std::max(widest, metrics.horizontalAdvance(twEntries->horizontalHeaderItem(column)->text()));
  }
  const int next = std::max(metrics.horizontalAdvance(twEntries->horizontalHeaderItem(ColumnNext)->text()),
                            twEntries->fontMetrics().horizontalAdvance("00.00.0000 00:00"));
  twEntries->setMinimumWidth(2 * twEntries->frameWidth() + twEntries->verticalScrollBar()->sizeHint().width() +
                             (ColumnCount - 1) * (widest + CaptionMargin) + next + CaptionMargin);
}

void TPlanForm::SelectEntry(int row) {
  if (row < 0 || row >= static_cast<int>(FEntries.size()) || row == FCurrent) return;
  StoreEntry(FCurrent);
  FillRow(FCurrent);
  FCurrent = row;
  LoadEntry(row);
  if (twEntries->currentRow() != row) twEntries->setCurrentCell(row, 0);
  bbRemoveEntry->setEnabled(row > 0);
}

void TPlanForm::LoadPlan(const TPlanRecord& plan) {
  // The controls change one by one: nothing is stored until all are set.
  const QScopedValueRollback<bool> loading(FLoading, true);
  QCheckBox* const days[] = {cbDay1Back, cbDay2Back, cbDay3Back, cbDay4Back, cbDay5Back, cbDay6Back, cbDay7Back};
  const bool on[] = {plan.Day1Back, plan.Day2Back, plan.Day3Back, plan.Day4Back,
                     plan.Day5Back, plan.Day6Back, plan.Day7Back};
  for (int i = 0; i < 7; ++i) days[i]->setChecked(on[i]);
  // A period the dialog does not offer (8 or more) shows as the clock item.
  rbDayBack->SetItemIndex(plan.DayPeriodBack > ClockItem ? ClockItem : plan.DayPeriodBack);
  rbNightBack->SetItemIndex(plan.NightPeriodBack > ClockItem ? ClockItem : plan.NightPeriodBack);
  SetTimeOfDay(dtDayBeginBack, plan.DayBeginBack);
  SetTimeOfDay(dtNightBeginBack, plan.NightBeginBack);
  SetTimeOfDay(dtDayBack, plan.DayClockBack);
  SetTimeOfDay(dtNightBack, plan.NightClockBack);
}

void TPlanForm::LoadEntry(int row) {
  const QScopedValueRollback<bool> loading(FLoading, true);
  const TPlanEntry& entry = FEntries[static_cast<std::size_t>(row)];
  FLevel = 0;
  cbBackupKind->setCurrentIndex(entry.Incremental() ? TDatabaseOptions::BackupKindIncremental
                                                    : TDatabaseOptions::BackupKindLogical);
  cbLevel->setCurrentIndex(0);
  cbLevel->setEnabled(entry.Incremental());
  LoadPlan(entry.PlanRecord);
  seKeepLastBackups->setValue(entry.KeepLastBackups);
  seKeepBackupDays->setValue(entry.KeepBackupDays);
  eDataBase->setText(Q(entry.DataBase));
  eDataBase->setCursorPosition(0);
  // Entry 1 of a plan of one database backs up the database the window
  // names; its parameters and login are the program's.
  const bool first = row == 0;
  eDataBase->setReadOnly(first && FEntries.size() == 1 && FSettings.PlanDataBase.empty());
  bbEntryParams->setEnabled(!first);
  cbOwnLogin->setEnabled(!first);
  cbOwnLogin->setChecked(!first && entry.OwnLogin);
  eEntryUser->setText(first ? QString() : Q(entry.User));
  eEntryPass->setText(first ? QString() : Q(entry.Pass));
  eEntryUser->setEnabled(!first && entry.OwnLogin);
  eEntryPass->setEnabled(!first && entry.OwnLogin);
  ShowRhythmProblem();
}

void TPlanForm::StorePlanInto(TPlanRecord& plan) {
  plan.Day1Back = cbDay1Back->isChecked();
  plan.Day2Back = cbDay2Back->isChecked();
  plan.Day3Back = cbDay3Back->isChecked();
  plan.Day4Back = cbDay4Back->isChecked();
  plan.Day5Back = cbDay5Back->isChecked();
  plan.Day6Back = cbDay6Back->isChecked();
  plan.Day7Back = cbDay7Back->isChecked();
  plan.DayPeriodBack = static_cast<std::uint8_t>(rbDayBack->ItemIndex());
  plan.NightPeriodBack = static_cast<std::uint8_t>(rbNightBack->ItemIndex());
  // Only the time of day: the pickers' own date stays with them.
  plan.DayBeginBack = QTimeToTimeOfDay(dtDayBeginBack->time());
  plan.NightBeginBack = QTimeToTimeOfDay(dtNightBeginBack->time());
  plan.DayClockBack = QTimeToTimeOfDay(dtDayBack->time());
  plan.NightClockBack = QTimeToTimeOfDay(dtNightBack->time());
}

void TPlanForm::StoreEntry(int row) {
  if (row < 0 || row >= static_cast<int>(FEntries.size())) return;
  TPlanEntry& entry = FEntries[static_cast<std::size_t>(row)];
  StorePlanInto(EditedPlan(entry));
  entry.BackupKind = cbBackupKind->currentIndex();
  entry.KeepLastBackups = seKeepLastBackups->value();
  entry.KeepBackupDays = seKeepBackupDays->value();
  entry.DataBase = BytesOf(eDataBase->text(), entry.DataBase);
  if (row == 0) return;
  entry.OwnLogin = cbOwnLogin->isChecked();
  entry.User = entry.OwnLogin ? BytesOf(eEntryUser->text(), entry.User) : std::string();
  entry.Pass = entry.OwnLogin ? BytesOf(eEntryPass->text(), entry.Pass) : std::string();
}

void TPlanForm::AddEntry(const std::string& database) {
  StoreEntry(FCurrent);
  // Beside a second entry, entry 1 keeps a database of its own: the one it
  // backed up so far (the window's when it had none), not whatever the
  // window names now, which may well be the database being added.
  if (FEntries.size() == 1 && FSettings.PlanDataBase.empty() && !FSettings.DataBase.empty())
    FEntries.front().DataBase = FSettings.DataBase;
  FEntries.push_back(NewPlanEntry(FSettings, database));
  FillList();
  const int row = static_cast<int>(FEntries.size()) - 1;
  FCurrent = -1;
  SelectEntry(row);
}

void TPlanForm::bbAddEntryClick() {
  AddEntry({});
  eDataBase->setFocus();
}

void TPlanForm::bbAddCurrentClick() { AddEntry(FWindowDatabase); }

void TPlanForm::bbRemoveEntryClick() {
  // Entry 1 is the program's plan: it stays (a plan of no day makes none).
  if (FCurrent <= 0) return;
  FEntries.erase(FEntries.begin() + FCurrent);
  const int next = std::min(FCurrent, static_cast<int>(FEntries.size()) - 1);
  FCurrent = -1;
  FillList();
  SelectEntry(next);
}

void TPlanForm::bbEntryParamsClick() {
  if (FCurrent <= 0) return;
  StoreEntry(FCurrent);
  EditOptions(FEntries[static_cast<std::size_t>(FCurrent)]);
}

void TPlanForm::StorePlan() {
  StoreEntry(FCurrent);
  // Saving alone leaves the database of a one-database plan as it was:
  // "Запустить" takes the window's, as the backup button does.
  std::vector<TPlanEntry> entries = FEntries;
  if (entries.size() == 1 && FSettings.PlanDataBase.empty()) entries.front().DataBase = FSettings.DataBase;
  SetPlanEntries(FSettings, entries);
  const bool startedWithSession = FSettings.StartWithSession;
  FSettings.StartWithSession = cbStartWithSession->isChecked();
  FSettings.ResumePlan = cbResumePlan->isChecked();
  // The autostart entry is written afresh while ticked (it names the program
  // as it runs now) and removed once unticked; left alone when never ticked.
  if (FSavePlan) FSavePlan(FSettings.StartWithSession || startedWithSession);
}

void TPlanForm::SetClockEnabled(bool on, QDateTimeEdit* picker) {
  QPalette palette = picker->palette();
  if (on) {
    picker->setEnabled(true);
    palette.setColor(QPalette::Base, QApplication::palette(picker).color(QPalette::Base));
  } else {
    picker->setEnabled(false);
    const QWidget* parent = picker->parentWidget() ? picker->parentWidget() : this;
    palette.setColor(QPalette::Base, parent->palette().color(QPalette::Window));
  }
  picker->setPalette(palette);
}

void TPlanForm::rbDayBackClick() { SetClockEnabled(rbDayBack->ItemIndex() == ClockItem, dtDayBack); }

void TPlanForm::rbNightBackClick() { SetClockEnabled(rbNightBack->ItemIndex() == ClockItem, dtNightBack); }

bool TPlanForm::RefusedRhythm() {
  StoreEntry(FCurrent);
  for (std::size_t i = 0; i < FEntries.size(); ++i) {
    const TPlanEntry& entry = FEntries[i];
    for (int level = 0; level <= (entry.Incremental() ? PlanLevels : 0); ++level) {
      const TPlanRecord& plan = level == 0 ? entry.PlanRecord : entry.LevelPlans.Level[level - 1];
      // A level on no day is not made at all.
      if (level > 0 && !PlanOnAnyDay(plan)) continue;
      const std::string problem = RhythmProblemText(plan);
      if (problem.empty()) continue;
      // The line and the level at fault are shown, with the reason below.
      SelectEntry(static_cast<int>(i));
      cbLevel->setCurrentIndex(level);
      LevelChanged();
      QString where = entry.DataBase.empty() ? QString::fromUtf8("база данных не выбрана") : Q(entry.DataBase);
      if (entry.Incremental()) where += QString::fromUtf8(", уровень %1").arg(level);
      QMessageBox::warning(this, windowTitle(),
                           QString::fromUtf8("Расписание не сохранено.\n%1: %2\n"
                                             "Выберите другой ритм или поправьте начало дня и ночи.")
                               .arg(where, Q(problem)));
      return true;
    }
  }
  return false;
}

void TPlanForm::SaveAndClose(int result) {
  // A plan whose chosen rhythm never runs would look saved and make nothing.
  if (RefusedRhythm()) return;
  try {
    StorePlan();
  } catch (const std::exception& error) {
    // The plan fields already hold the new values; the dialog stays open so
    // the user can try again or close it.
    QMessageBox::warning(this, windowTitle(), QString::fromStdString(error.what()));
    return;
  }
  done(result);
}

void TPlanForm::bbOkClick() { SaveAndClose(ResultOther); }

void TPlanForm::bbStartClick() { SaveAndClose(ResultStart); }

void TPlanForm::bbCancelClick() { done(ResultOther); }
