#include "dialogs/plan_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>
#include <exception>

#include "controller/quorvin.h"
#include "dialogs/quorvin_ref.h"
#include "dialogs/radio_group.h"
#include "dialogs/time_of_day.h"
#include "dialogs/time_picker.h"
#include "runner/ui_seams.h"

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

}  // namespace

TPlanForm::TPlanForm(QWidget* parent, TQuorvin* controller)
    : TFixedDialog(parent, ResultOther), FController(ControllerOrProgramWide(controller)) {
  setWindowTitle(QString::fromUtf8("Расписание"));
  auto* top = new QVBoxLayout(this);
  top->addLayout(BuildDatabaseRow());
  auto* frames = new QHBoxLayout;
  top->addLayout(frames, 1);
  frames->addWidget(BuildWeekFrame());
  frames->addWidget(BuildWindowFrame(), 1);
  top->addWidget(BuildRetentionFrame());
  BuildButtons(top);

  // Both groups start on "Ничего" with their clock pickers disabled.
  rbDayBack->SetItemIndex(0);
  rbNightBack->SetItemIndex(0);
  SetClockEnabled(false, dtDayBack);
  SetClockEnabled(false, dtNightBack);
  rbDayBack->OnClick = [this] { rbDayBackClick(); };
  rbNightBack->OnClick = [this] { rbNightBackClick(); };

  FixClientSize(526, 294);
  bbOk->setFocus();
  FormCreate();
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
  eDataBase->setReadOnly(true);
  eDataBase->setPlaceholderText(QString::fromUtf8("не выбрана"));
  LabelDataBase->setBuddy(eDataBase);
  auto* row = new QHBoxLayout;
  row->addWidget(LabelDataBase);
  row->addWidget(eDataBase, 1);
  return row;
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
  const TPlanRecord& plan = FController.PlanRecord;
  cbDay1Back->setChecked(plan.Day1Back);
  cbDay2Back->setChecked(plan.Day2Back);
  cbDay3Back->setChecked(plan.Day3Back);
  cbDay4Back->setChecked(plan.Day4Back);
  cbDay5Back->setChecked(plan.Day5Back);
  cbDay6Back->setChecked(plan.Day6Back);
  cbDay7Back->setChecked(plan.Day7Back);
  // A period the dialog does not offer (8 or more) shows as the clock item.
  rbDayBack->SetItemIndex(plan.DayPeriodBack > ClockItem ? ClockItem : plan.DayPeriodBack);
  rbNightBack->SetItemIndex(plan.NightPeriodBack > ClockItem ? ClockItem : plan.NightPeriodBack);
  SetTimeOfDay(dtDayBeginBack, plan.DayBeginBack);
  SetTimeOfDay(dtNightBeginBack, plan.NightBeginBack);
  SetTimeOfDay(dtDayBack, plan.DayClockBack);
  SetTimeOfDay(dtNightBack, plan.NightClockBack);
  seKeepLastBackups->setValue(FController.KeepLastBackups);
  seKeepBackupDays->setValue(FController.KeepBackupDays);
  SetPlanDatabase(QString::fromStdString(FController.DataBase));
  cbStartWithSession->setChecked(FController.StartWithSession);
  cbResumePlan->setChecked(FController.ResumePlan);
}

void TPlanForm::SetPlanDatabase(const QString& name) {
  eDataBase->setText(name);
  eDataBase->setCursorPosition(0);
}

void TPlanForm::StorePlan() {
  TPlanRecord& plan = FController.PlanRecord;
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
  const bool startedWithSession = FController.StartWithSession;
  FController.StartWithSession = cbStartWithSession->isChecked();
  FController.ResumePlan = cbResumePlan->isChecked();
  FController.KeepLastBackups = seKeepLastBackups->value();
  FController.KeepBackupDays = seKeepBackupDays->value();
  FController.SavePlan();
  // The entry is written afresh while ticked (it names the program as it
  // runs now) and removed once unticked; left alone when never ticked.
  if (FController.StartWithSession || startedWithSession) FController.ApplyStartWithSession();
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

void TPlanForm::SaveAndClose(int result) {
  try {
    StorePlan();
  } catch (const std::exception& error) {
    // The plan fields already hold the new values; the dialog stays open so
    // the user can try again or close it.
    Prompts().ShowMessage(error.what());
    return;
  }
  done(result);
}

void TPlanForm::bbOkClick() { SaveAndClose(ResultOther); }

void TPlanForm::bbStartClick() { SaveAndClose(ResultStart); }

void TPlanForm::bbCancelClick() { done(ResultOther); }
