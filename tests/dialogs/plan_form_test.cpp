// The schedule dialog against a real controller and settings file: every
// control loads and stores, the clock pickers follow the "в " item, only the
// time of day of a picker ever reaches the controller and the file, and the
// buttons give their results.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "dialog_fixture.h"
#include "dialogs/params_form.h"
#include "dialogs/plan_form.h"
#include "dialogs/radio_group.h"
#include "platform/date_time.h"
#include "platform/scoped_env.h"

namespace {

std::vector<QCheckBox*> DayBoxes(TPlanForm& form) {
  return {form.cbDay1Back, form.cbDay2Back, form.cbDay3Back, form.cbDay4Back,
          form.cbDay5Back, form.cbDay6Back, form.cbDay7Back};
}

std::vector<bool*> DayFields(TPlanRecord& plan) {
  return {&plan.Day1Back, &plan.Day2Back, &plan.Day3Back, &plan.Day4Back,
          &plan.Day5Back, &plan.Day6Back, &plan.Day7Back};
}

// A click on the item's round button, where a user clicks.
void ClickItem(TRadioGroup* group, int index) {
  QRadioButton* button = group->Button(index);
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

QColor BaseOf(const QWidget* w) { return w->palette().color(QPalette::Base); }

// The settings file's text for a time of day, as the controller writes it.
QString TimeText(int h, int m, int s) { return QString::fromStdString(FormatLongTime(EncodeTime(h, m, s, 0))); }

// The dialog as the window opens it: on the controller's settings and plan,
// saving writes the plan to the settings file.
class TPlanDialog : public TPlanForm {
 public:
  explicit TPlanDialog(TQuorvin& q)
      : TPlanForm(nullptr, q.Settings(), &q.Plan(), [&q](bool sessionStart) {
          q.SavePlan();
          if (sessionStart) q.ApplyStartWithSession();
        }) {}
};

// Opens the parameters of the selected entry and, once they show, runs
// `edit` on them and saves them.
void EditEntryParams(TPlanForm& form, const std::function<void(TParamsForm&)>& edit) {
  QTimer::singleShot(0, [&] {
    auto* params = dynamic_cast<TParamsForm*>(QApplication::activeModalWidget());
    if (params == nullptr) qFatal("the parameters dialog did not open");
    edit(*params);
    QTest::mouseClick(params->bbSave, Qt::LeftButton);
  });
  QTest::mouseClick(form.bbEntryParams, Qt::LeftButton);
}

}  // namespace

class PlanFormTest : public QObject {
  Q_OBJECT

 private slots:
  void Captions() {
    TDialogFixture fx;
    TPlanDialog form(*fx.Controller);
    QCOMPARE(form.windowTitle(), QString::fromUtf8("Расписание"));
    QStringList days;
    for (auto* box : DayBoxes(form)) days << box->text();
    QCOMPARE(days, QString::fromUtf8("Понедельник Вторник Среда Четверг Пятница Суббота Воскресенье").split(' '));
    for (auto* box : DayBoxes(form)) {
      const bool weekend = box == form.cbDay6Back || box == form.cbDay7Back;
      QCOMPARE(box->palette().color(QPalette::WindowText) == QColor(Qt::red), weekend);
    }
    // The weekdays sit together in the titled box " Неделя ".
    auto* week = qobject_cast<QGroupBox*>(form.cbDay1Back->parentWidget());
    QVERIFY(week);
    QCOMPARE(week->title(), QString::fromUtf8(" Неделя "));
    for (auto* box : DayBoxes(form)) QCOMPARE(box->parentWidget(), week);
    QCOMPARE(form.Label4->text(), QString::fromUtf8("День"));
    QCOMPARE(form.Label5->text(), QString::fromUtf8("Ночь"));
    QCOMPARE(form.rbDayBack->title(), QString::fromUtf8(" Днем "));
    QCOMPARE(form.rbNightBack->title(), QString::fromUtf8(" Ночью "));
    const QStringList items = QString::fromUtf8(
                                  "Ничего|раз в 20 мин.|раз в 30 мин.|раз в 1 час|раз в 2 часа|"
                                  "раз в 3 часа|раз в 4 часа|в ")
                                  .split('|');
    for (TRadioGroup* group : {form.rbDayBack, form.rbNightBack}) {
      QCOMPARE(group->Count(), 8);
      for (int i = 0; i < 8; ++i) QCOMPARE(group->Button(i)->text(), items[i]);
    }
    QCOMPARE(form.bbStart->text(), QString::fromUtf8("Запустить"));
    QCOMPARE(form.bbOk->text(), QString::fromUtf8("Сохранить"));
    QCOMPARE(form.bbCancel->text(), QString::fromUtf8("Закрыть"));
    QVERIFY(!form.bbStart->icon().isNull());
    QCOMPARE(form.dtDayBack->parentWidget(), form.rbDayBack);
    QCOMPARE(form.dtNightBack->parentWidget(), form.rbNightBack);
  }

  void LayoutOnScreen() {
    TDialogFixture fx;
    TPlanDialog form(*fx.Controller);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // Taller and wider than the one-database dialog was: the list of the
    // plan's databases sits at its top. The user may size it.
    QVERIFY(form.width() >= 620 && form.height() >= 480);
    QVERIFY(form.minimumSize() != form.maximumSize());
    QCOMPARE(form.focusWidget(), form.bbOk);
    const QRect screen = form.screen()->geometry();
    QVERIFY((form.geometry().center() - screen.center()).manhattanLength() < 4);
    for (auto* button : form.findChildren<QAbstractButton*>())
      QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(button->text()));
    // The clock picker stands on the line of "в ", to its right.
    const QRadioButton* clockItem = form.rbDayBack->Button(TPlanForm::ClockItem);
    QVERIFY(form.dtDayBack->geometry().left() >= clockItem->geometry().right());
    QVERIFY(qAbs(form.dtDayBack->geometry().center().y() - clockItem->geometry().center().y()) < 6);
    form.bbCancelClick();
  }

  // At its default size, with a database name longer than the screen is
  // wide: every column's caption whole inside the list, no scroll bar
  // across, no button over the list; the name cut in the middle, whole in
  // its tool tip. Lines added later, an edit, and a size the user gave
  // leave the dialog's size alone; a line follows each edit at once.
  void LongNameKeepsEveryColumnInView() {
    const QString longName = "/srv/" + QString("very_long_folder_name/").repeated(12) + "shop.fdb";
    TDialogFixture fx("[Main]\nDataBase=/srv/a.fdb\n[Plan]\nDay1Back=1\nNightPeriodBack=3\n[Plan2]\nDataBase=" +
                      longName + "\nDay2Back=1\nNightPeriodBack=2\n");
    TPlanDialog form(*fx.Controller);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* list = form.findChild<QTableWidget*>("twEntries");
    QVERIFY(list);
    const QSize opened = form.size();
    const auto checkGeometry = [&] {
      QCoreApplication::processEvents();
      const QHeaderView* header = list->horizontalHeader();
      QVERIFY(!list->horizontalScrollBar()->isVisible());
      for (int column = 0; column < TPlanForm::ColumnCount; ++column) {
        const QString caption = list->horizontalHeaderItem(column)->text();
        const int left = header->sectionViewportPosition(column);
        QVERIFY2(left >= 0 && left + header->sectionSize(column) <= list->viewport()->width(), qPrintable(caption));
        QVERIFY2(header->sectionSize(column) >= header->fontMetrics().horizontalAdvance(caption), qPrintable(caption));
      }
      const QRect listArea(list->mapTo(&form, QPoint(0, 0)), list->size());
      QVERIFY(form.rect().contains(listArea));
      for (const char* name : {"bbAddEntry", "bbAddCurrent", "bbRemoveEntry"}) {
        auto* button = form.findChild<QPushButton*>(name);
        QVERIFY2(button && !QRect(button->mapTo(&form, QPoint(0, 0)), button->size()).intersects(listArea), name);
      }
    };
    checkGeometry();
    QCOMPARE(list->item(1, TPlanForm::ColumnDatabase)->toolTip(), longName);

    // A further line and an edit: the size stays; the line follows the edit.
    form.findChild<QPushButton*>("bbAddEntry")->click();
    QTest::keyClicks(form.findChild<QLineEdit*>("eDataBase"), longName + "2");
    QCOMPARE(list->item(2, TPlanForm::ColumnDatabase)->text(), longName + "2");
    form.findChild<QCheckBox*>("cbDay5Back")->setChecked(true);
    QCOMPARE(list->item(2, TPlanForm::ColumnRhythm)->text(), QString::fromUtf8("Пт; весь день ничего"));
    QVERIFY(list->item(2, TPlanForm::ColumnNext)->text().isEmpty());
    ClickItem(form.findChild<TRadioGroup*>("rbNightBack"), 3);
    QCOMPARE(list->item(2, TPlanForm::ColumnRhythm)->text(), QString::fromUtf8("Пт; весь день раз в 1 час"));
    QVERIFY(!list->item(2, TPlanForm::ColumnNext)->text().isEmpty());
    QCOMPARE(form.size(), opened);
    checkGeometry();
    // The user's size is kept through further changes.
    form.resize(opened + QSize(150, 60));
    QCoreApplication::processEvents();
    form.findChild<QPushButton*>("bbAddCurrent")->click();
    QCoreApplication::processEvents();
    QCOMPARE(form.size(), opened + QSize(150, 60));
    checkGeometry();
    form.bbCancelClick();
  }

  // A chosen rhythm that cannot run is named beneath the windows as it is
  // edited, and keeps both "Сохранить" and "Запустить" from saving; put
  // right, the plan saves.
  void RhythmThatCannotRunIsRefused() {
    TRecordingBoxes boxes;
    TDialogFixture fx("[Main]\nDataBase=/srv/a.fdb\n[Plan]\nDay1Back=1\nNightPeriodBack=3\n");
    TPlanDialog form(*fx.Controller);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QSize opened = form.size();
    auto* problem = form.findChild<QLabel*>("lbRhythmProblem");
    QVERIFY(problem && problem->text().isEmpty());
    const struct {
      QTime DayStart, NightStart, DayClock;
      const char* Says;
    } rows[] = {
        {QTime(0, 0), QTime(0, 0), QTime(0, 0),
         "Дневной ритм «в 00:00» не сработает ни разу: день и ночь начинаются в 00:00, у дневного окна нет "
         "длительности."},
        {QTime(9, 0), QTime(7, 0), QTime(10, 0), "ночь (07:00) начинается раньше дня (09:00)"},
        {QTime(8, 0), QTime(20, 0), QTime(7, 0), "время 07:00 вне дневного окна (08:00–20:00)."},
        {QTime(8, 0), QTime(20, 0), QTime(12, 0), ""},
    };
    ClickItem(form.findChild<TRadioGroup*>("rbDayBack"), TPlanForm::ClockItem);
    for (const auto& row : rows) {
      form.findChild<QDateTimeEdit*>("dtDayBeginBack")->setTime(row.DayStart);
      form.findChild<QDateTimeEdit*>("dtNightBeginBack")->setTime(row.NightStart);
      form.findChild<QDateTimeEdit*>("dtDayBack")->setTime(row.DayClock);
      QVERIFY2(QString(row.Says).isEmpty() ? problem->text().isEmpty() : problem->text().contains(row.Says),
               qPrintable(problem->text()));
      QCoreApplication::processEvents();
      QCOMPARE(form.size(), opened);
      if (QString(row.Says).isEmpty()) break;
      for (QPushButton* button : {form.bbOk, form.bbStart}) {
        boxes.Messages.clear();
        button->click();
        QCOMPARE(boxes.Messages.size(), std::size_t(1));
        QVERIFY2(QString::fromStdString(boxes.Messages[0]).contains("Расписание не сохранено.\n/srv/a.fdb: "),
                 boxes.Messages[0].c_str());
        QCOMPARE(form.result(), 0);  // still open
        QVERIFY(!fx.ReadText().contains("DayPeriodBack"));
      }
    }
    form.bbOk->click();
    QCOMPARE(form.result(), 2);
    QCOMPARE(fx.ReadIni()["Plan"]["DayPeriodBack"], QString("7"));
  }

  void LoadsEveryControl() {
    TDialogFixture fx;
    TPlanRecord& plan = fx.Controller->Settings().PlanRecord;
    auto fields = DayFields(plan);
    for (std::size_t i = 0; i < fields.size(); ++i) *fields[i] = i % 3 == 0;
    plan.DayPeriodBack = 2;
    plan.NightPeriodBack = 7;
    // Times with a date part: only the time of day is shown.
    plan.DayBeginBack = 40000 + EncodeTime(8, 0, 30, 0);
    plan.NightBeginBack = EncodeTime(20, 15, 0, 0);
    plan.DayClockBack = EncodeTime(12, 34, 56, 0);
    plan.NightClockBack = 1 + EncodeTime(23, 30, 45, 0);
    TPlanDialog form(*fx.Controller);
    const auto boxes = DayBoxes(form);
    for (std::size_t i = 0; i < boxes.size(); ++i) QCOMPARE(boxes[i]->isChecked(), i % 3 == 0);
    QCOMPARE(form.rbDayBack->ItemIndex(), 2);
    QCOMPARE(form.rbNightBack->ItemIndex(), 7);
    QCOMPARE(form.dtDayBeginBack->time(), QTime(8, 0, 30));
    QCOMPARE(form.dtNightBeginBack->time(), QTime(20, 15, 0));
    QCOMPARE(form.dtDayBack->time(), QTime(12, 34, 56));
    QCOMPARE(form.dtNightBack->time(), QTime(23, 30, 45));
    for (auto* picker : {form.dtDayBeginBack, form.dtNightBeginBack, form.dtDayBack, form.dtNightBack})
      QCOMPARE(picker->date(), TPlanForm::PickerDate());
  }

  void StoredPeriod_data() {
    QTest::addColumn<QString>("iniValue");
    QTest::addColumn<int>("item");
    for (int p = 0; p <= 7; ++p) QTest::addRow("period %d", p) << QString::number(p) << p;
    QTest::newRow("263 reads as 7") << "263" << 7;
    QTest::newRow("200: not offered, opens as 7") << "200" << 7;
    QTest::newRow("8: not offered, opens as 7") << "8" << 7;
  }
  void StoredPeriod() {
    QFETCH(QString, iniValue);
    QFETCH(int, item);
    // Windows in which every rhythm (a clock time too) can run.
    TDialogFixture fx("[Plan]\nDayPeriodBack=" + iniValue + "\nNightPeriodBack=" + iniValue +
                      "\nDayBeginBack=" + TimeText(8, 0, 0) + "\nNightBeginBack=" + TimeText(20, 0, 0) +
                      "\nDayClockBack=" + TimeText(12, 0, 0) + "\nNightClockBack=" + TimeText(23, 0, 0) + "\n");
    TPlanDialog form(*fx.Controller);
    const QColor window = QApplication::palette(form.dtDayBack).color(QPalette::Base);
    for (auto [group, picker] :
         {std::pair{form.rbDayBack, form.dtDayBack}, std::pair{form.rbNightBack, form.dtNightBack}}) {
      QCOMPARE(group->ItemIndex(), item);
      const bool clock = item == TPlanForm::ClockItem;
      QCOMPARE(picker->isEnabled(), clock);
      QCOMPARE(BaseOf(picker), clock ? window : group->palette().color(QPalette::Window));
    }
    form.bbOkClick();
    QCOMPARE(form.result(), 2);
    QCOMPARE(int(fx.Controller->Settings().PlanRecord.DayPeriodBack), item);
    QCOMPARE(int(fx.Controller->Settings().PlanRecord.NightPeriodBack), item);
    auto ini = fx.ReadIni();
    QCOMPARE(ini["Plan"]["DayPeriodBack"], QString::number(item));
    QCOMPARE(ini["Plan"]["NightPeriodBack"], QString::number(item));
  }

  void SwitchingToClockAndAway() {
    TDialogFixture fx;
    TPlanDialog form(*fx.Controller);
    const QColor window = QApplication::palette(form.dtNightBack).color(QPalette::Base);
    const QColor face = form.rbNightBack->palette().color(QPalette::Window);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(!form.dtNightBack->isEnabled());
    ClickItem(form.rbNightBack, 7);
    QCOMPARE(form.rbNightBack->ItemIndex(), 7);
    QVERIFY(form.dtNightBack->isEnabled());
    QCOMPARE(BaseOf(form.dtNightBack), window);
    QVERIFY(!form.dtDayBack->isEnabled());  // the other group is untouched
    form.dtNightBack->setTime(QTime(3, 45, 10));
    ClickItem(form.rbNightBack, 3);
    QVERIFY(!form.dtNightBack->isEnabled());
    QCOMPARE(BaseOf(form.dtNightBack), face);
    // The disabled picker's time is saved all the same.
    form.StorePlan();
    QCOMPARE(fx.Controller->Settings().PlanRecord.NightPeriodBack, 3);
    QCOMPARE(fx.Controller->Settings().PlanRecord.NightClockBack, EncodeTime(3, 45, 10, 0));
    QCOMPARE(fx.ReadIni()["Plan"]["NightClockBack"], TimeText(3, 45, 10));
    form.bbCancelClick();
  }

  void SaveWritesThePlanAtOnce_data() {
    QTest::addColumn<bool>("start");
    QTest::newRow("Сохранить") << false;
    QTest::newRow("Запустить") << true;
  }
  void SaveWritesThePlanAtOnce() {
    QFETCH(bool, start);
    TDialogFixture fx("[Main]\nDataBase=/db/a.fdb\n[Plan]\nQueueBack=5\n");
    TPlanDialog form(*fx.Controller);
    const auto boxes = DayBoxes(form);
    for (std::size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(i == 0 || i == 6);
    form.rbDayBack->SetItemIndex(1);
    form.rbNightBack->SetItemIndex(7);
    form.dtDayBeginBack->setTime(QTime(8, 0, 30));
    form.dtNightBeginBack->setTime(QTime(20, 0, 0));
    form.dtDayBack->setTime(QTime(13, 14, 15));
    form.dtNightBack->setTime(QTime(23, 30, 0));
    form.seKeepLastBackups->setValue(12);
    form.seKeepBackupDays->setValue(30);
    int result = -1;
    QTimer::singleShot(0, [&] { QTest::mouseClick(start ? form.bbStart : form.bbOk, Qt::LeftButton); });
    result = form.exec();
    QCOMPARE(result, start ? 1 : 2);

    const TPlanRecord& plan = fx.Controller->Settings().PlanRecord;
    QVERIFY(plan.Day1Back && plan.Day7Back && !plan.Day2Back && !plan.Day6Back);
    QCOMPARE(plan.DayPeriodBack, 1);
    QCOMPARE(plan.NightPeriodBack, 7);
    // No picker's date reaches the controller: the values are times of day.
    QCOMPARE(plan.DayBeginBack, EncodeTime(8, 0, 30, 0));
    QCOMPARE(plan.NightBeginBack, EncodeTime(20, 0, 0, 0));
    QCOMPARE(plan.DayClockBack, EncodeTime(13, 14, 15, 0));
    QCOMPARE(plan.NightClockBack, EncodeTime(23, 30, 0, 0));

    auto ini = fx.ReadIni();
    auto& p = ini["Plan"];
    const QStringList days{"1", "0", "0", "0", "0", "0", "1"};
    for (int i = 0; i < 7; ++i) QCOMPARE(p[QString("Day%1Back").arg(i + 1)], days[i]);
    QCOMPARE(p["DayPeriodBack"], QString("1"));
    QCOMPARE(p["NightPeriodBack"], QString("7"));
    QCOMPARE(p["QueueBack"], QString("5"));
    QCOMPARE(p["DayBeginBack"], TimeText(8, 0, 30));
    QCOMPARE(p["NightBeginBack"], TimeText(20, 0, 0));
    QCOMPARE(p["DayClockBack"], TimeText(13, 14, 15));
    QCOMPARE(p["NightClockBack"], TimeText(23, 30, 0));
    QCOMPARE(p["KeepLastBackups"], QString("12"));
    QCOMPARE(p["KeepBackupDays"], QString("30"));
    // Only [Plan] is written by the dialog.
    QCOMPARE(ini["Main"]["DataBase"], QString("/db/a.fdb"));
    QVERIFY(ini.count("Parameters") == 0);
  }

  void CloseChangesNothing_data() {
    QTest::addColumn<bool>("titleBar");
    QTest::newRow("Закрыть") << false;
    QTest::newRow("title-bar button") << true;
  }
  void CloseChangesNothing() {
    QFETCH(bool, titleBar);
    const QString text = "[Plan]\nDay3Back=1\nDayPeriodBack=2\nDayBeginBack=" + TimeText(9, 0, 0) + "\n";
    TDialogFixture fx(text);
    const TPlanRecord before = fx.Controller->Settings().PlanRecord;
    TPlanDialog form(*fx.Controller);
    QTimer::singleShot(0, [&] {
      form.cbDay3Back->setChecked(false);
      form.cbDay5Back->setChecked(true);
      form.rbDayBack->SetItemIndex(7);
      form.dtDayBeginBack->setTime(QTime(10, 0, 0));
      QTest::keyClick(&form, Qt::Key_Escape);  // no meaning here
      QVERIFY(form.isVisible());
      QTest::keyClick(form.bbOk, Qt::Key_Return);  // the focused button is no default
      QVERIFY(form.isVisible());
      if (titleBar)
        form.close();
      else
        QTest::mouseClick(form.bbCancel, Qt::LeftButton);
    });
    QCOMPARE(form.exec(), 2);
    const TPlanRecord& after = fx.Controller->Settings().PlanRecord;
    QVERIFY(after.Day3Back && !after.Day5Back);
    QCOMPARE(after.DayPeriodBack, before.DayPeriodBack);
    QCOMPARE(after.DayBeginBack, before.DayBeginBack);
    QCOMPARE(fx.ReadText(), text.toUtf8());
  }

  // The database line, and the two session switches: stored as [Plan] keys
  // (off when missing), with the autostart entry written while ticked and
  // removed once unticked.
  void DatabaseAndSessionSwitches() {
    QTemporaryDir config;
    TScopedEnv env;
    env.Set("XDG_CONFIG_HOME", config.path().toStdString());
    const QString entry = config.path() + "/autostart/org.example.quorvin.desktop";
    TDialogFixture fx("[Main]\nDataBase=/db/old.fdb\n");
    for (bool on : {true, false}) {
      TPlanDialog form(*fx.Controller);
      QVERIFY(form.eDataBase->isReadOnly());
      QCOMPARE(form.eDataBase->text(), QString("/db/old.fdb"));
      form.SetPlanDatabase("/db/shown.fdb");
      QCOMPARE(form.eDataBase->text(), QString("/db/shown.fdb"));
      QCOMPARE(form.cbStartWithSession->isChecked(), !on);
      QCOMPARE(form.cbResumePlan->isChecked(), !on);
      form.cbStartWithSession->setChecked(on);
      form.cbResumePlan->setChecked(on);
      form.bbOkClick();
      auto ini = fx.ReadIni();
      QCOMPARE(ini["Plan"]["StartWithSession"], QString(on ? "1" : "0"));
      QCOMPARE(ini["Plan"]["ResumePlan"], QString(on ? "1" : "0"));
      QVERIFY(ini["Plan"].count("PlanRunning") == 0);  // its own writer only
      QCOMPARE(QFile::exists(entry), on);
      QCOMPARE(fx.Controller->Settings().DataBase, std::string("/db/old.fdb"));
    }
  }

  // Digits typed after a click anywhere in a section replace that section.
  void TypedDigits_data() {
    QTest::addColumn<int>("clickAt");  // character of the text "00:00:00"
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QTime>("expected");
    QTest::newRow("hours, clicked in the middle") << 1 << "0830" << QTime(8, 30, 0);
    QTest::newRow("minutes, clicked at the end") << 5 << "45" << QTime(0, 45, 0);
    QTest::newRow("seconds") << 7 << "59" << QTime(0, 0, 59);
    QTest::newRow("all three from the hours") << 0 << "235958" << QTime(23, 59, 58);
  }
  void TypedDigits() {
    QFETCH(int, clickAt);
    QFETCH(QString, typed);
    QFETCH(QTime, expected);
    TDialogFixture fx;
    TPlanDialog form(*fx.Controller);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (QDateTimeEdit* picker : {form.dtDayBeginBack, form.dtNightBack}) {
      form.rbNightBack->SetItemIndex(TPlanForm::ClockItem);
      auto* text = picker->findChild<QLineEdit*>();
      int x = 0;
      while (x < text->width() && text->cursorPositionAt(QPoint(x, text->height() / 2)) < clickAt) ++x;
      QTest::mouseClick(text, Qt::LeftButton, {}, QPoint(x, text->height() / 2));
      QTest::keyClicks(picker, typed);
      QCOMPARE(picker->time(), expected);
    }
    form.bbCancelClick();
  }

  void AFailedWriteKeepsTheDialogOpen() {
    TDialogFixture fx;
    TRecordingBoxes boxes;
    TPlanDialog form(*fx.Controller);
    // A folder where the settings file should be: every write is refused.
    QFile::remove(fx.IniPath());
    QVERIFY(QDir().mkpath(fx.IniPath()));
    form.cbDay2Back->setChecked(true);
    form.show();
    QTest::mouseClick(form.bbStart, Qt::LeftButton);
    QVERIFY(form.isVisible());
    QCOMPARE(boxes.Messages.size(), std::size_t(1));
    QVERIFY(QString::fromStdString(boxes.Messages[0]).startsWith("Unable to write to"));
    QVERIFY(fx.Controller->Settings().PlanRecord.Day2Back);  // the fields hold the new plan
    form.bbCancelClick();
    QCOMPARE(form.result(), 2);
    QDir(fx.IniPath()).removeRecursively();
  }

  // The list: the window's database added as a second line with a plan of its
  // own, another typed in, one removed; each line's controls are its own,
  // and saving writes one section per further line, entry 1 keeping its
  // database.
  void EntriesOfTheList() {
    TDialogFixture fx("[Main]\nDataBase=/srv/shop.fdb\n[Plan]\nDay1Back=1\nNightPeriodBack=3\n");
    TPlanDialog form(*fx.Controller);
    form.SetPlanDatabase("/srv/stock.fdb");
    QCOMPARE(form.twEntries->rowCount(), 1);
    QVERIFY(!form.bbRemoveEntry->isEnabled());
    QVERIFY(!form.bbEntryParams->isEnabled());
    QTest::mouseClick(form.bbAddCurrent, Qt::LeftButton);
    QCOMPARE(form.twEntries->rowCount(), 2);
    QCOMPARE(form.CurrentEntry(), 1);
    QCOMPARE(form.eDataBase->text(), QString("/srv/stock.fdb"));
    QVERIFY(!form.cbDay1Back->isChecked());  // a new line plans nothing yet
    form.cbDay3Back->setChecked(true);
    ClickItem(form.rbNightBack, 2);
    form.cbOwnLogin->setChecked(true);
    form.eEntryUser->setText("STOCK");
    form.eEntryPass->setText("pw");
    QTest::mouseClick(form.bbAddEntry, Qt::LeftButton);
    QTest::keyClicks(form.eDataBase, "/srv/gone.fdb");
    QCOMPARE(form.twEntries->item(2, TPlanForm::ColumnDatabase)->text(), QString("/srv/gone.fdb"));
    QCOMPARE(form.twEntries->item(2, TPlanForm::ColumnDatabase)->toolTip(), QString("/srv/gone.fdb"));
    QTest::mouseClick(form.bbRemoveEntry, Qt::LeftButton);
    QCOMPARE(form.twEntries->rowCount(), 2);
    form.SelectEntry(0);
    QVERIFY(form.cbDay1Back->isChecked() && !form.cbDay3Back->isChecked());
    form.SelectEntry(1);
    QVERIFY(form.cbDay3Back->isChecked() && form.cbOwnLogin->isChecked());
    QVERIFY(form.twEntries->item(1, TPlanForm::ColumnRhythm)->text().startsWith(QString::fromUtf8("Ср; весь день")));
    QTest::mouseClick(form.bbOk, Qt::LeftButton);

    const auto ini = fx.ReadIni();
    QCOMPARE(ini.at("Plan").at("DataBase"), QString("/srv/shop.fdb"));
    QCOMPARE(ini.at("Plan2").at("DataBase"), QString("/srv/stock.fdb"));
    QCOMPARE(ini.at("Plan2").at("Day3Back"), QString("1"));
    QCOMPARE(ini.at("Plan2").at("NightPeriodBack"), QString("2"));
    QCOMPARE(ini.at("Plan2").at("User"), QString("STOCK"));
    QVERIFY(!ini.count("Plan3"));
    const std::vector<TPlanEntry> entries = fx.Controller->PlanEntries();
    QCOMPARE(entries.size(), std::size_t(2));
    QCOMPARE(JobOptionsOf(entries[1], fx.Controller->Settings()).Pass, std::string("pw"));
  }

  // An incremental line: the weekdays and windows edit the level chosen,
  // each level keeps its own rhythm, and the file gets the new keys for that
  // line only; a logical line edits its one plan.
  void IncrementalLevelsKeepARhythmEach() {
    TDialogFixture fx("[Main]\nDataBase=/srv/shop.fdb\n[Plan]\nDay1Back=1\nNightPeriodBack=3\n");
    TPlanDialog form(*fx.Controller);
    form.SetPlanDatabase("/srv/big.fdb");
    QVERIFY(!form.cbLevel->isEnabled());
    QTest::mouseClick(form.bbAddCurrent, Qt::LeftButton);
    form.cbBackupKind->setCurrentIndex(TDatabaseOptions::BackupKindIncremental);
    emit form.cbBackupKind->activated(TDatabaseOptions::BackupKindIncremental);
    QVERIFY(form.cbLevel->isEnabled());
    form.cbDay7Back->setChecked(true);  // level 0 on Sundays, at 01:00
    ClickItem(form.rbNightBack, TPlanForm::ClockItem);
    form.dtNightBack->setTime(QTime(1, 0));
    for (int level : {1, 2}) {
      form.cbLevel->setCurrentIndex(level);
      emit form.cbLevel->activated(level);
      QVERIFY(!form.cbDay7Back->isChecked());  // a level of its own, empty so far
      for (QCheckBox* box : DayBoxes(form)) box->setChecked(true);
      ClickItem(form.rbNightBack, level == 1 ? TPlanForm::ClockItem : 3);
    }
    form.cbLevel->setCurrentIndex(0);
    emit form.cbLevel->activated(0);
    QVERIFY(form.cbDay7Back->isChecked() && !form.cbDay1Back->isChecked());
    const QString rhythm = form.twEntries->item(1, TPlanForm::ColumnRhythm)->text();
    QVERIFY2(rhythm.contains(QString::fromUtf8("ур. 2: ежедневно")), qPrintable(rhythm));
    form.SelectEntry(0);
    QVERIFY(!form.cbLevel->isEnabled() && form.cbDay1Back->isChecked());
    QTest::mouseClick(form.bbOk, Qt::LeftButton);

    const auto ini = fx.ReadIni();
    QCOMPARE(ini.at("Plan2").at("BackupKind"), QString("1"));
    QCOMPARE(ini.at("Plan2").at("Day7Back"), QString("1"));
    QVERIFY(ini.at("Plan2").at("Level1Plan").startsWith("days=1111111;"));
    QVERIFY(ini.at("Plan2").at("Level2Plan").contains("nightperiod=3"));
    QVERIFY(!ini.at("Plan").count("BackupKind"));
    QVERIFY(fx.Controller->PlanEntries()[1].Incremental());
  }

  // Another entry's off-site copy is edited in its parameters and reaches
  // its own section only, and is read back from there.
  void OffsiteOfAnotherEntry() {
    TDialogFixture fx("[Main]\nDataBase=/db/a.fdb\n[Plan]\nDataBase=/db/a.fdb\n[Plan2]\nDataBase=/db/b.fdb\n");
    const TOffsiteSettings place{"s3://stock/nightly", "", "", false, "", "/etc/q/crypt.key"};
    {
      TPlanDialog form(*fx.Controller);
      form.SelectEntry(1);
      EditEntryParams(form, [&](TParamsForm& params) { TypeOffsite(&params, place); });
      QTest::mouseClick(form.bbOk, Qt::LeftButton);
    }
    const auto ini = fx.ReadIni();
    QCOMPARE(ini.at("Plan2").at("OffsiteUrl"), QString("s3://stock/nightly"));
    QCOMPARE(ini.at("Plan2").at("OffsiteEncryptKey"), QString("/etc/q/crypt.key"));
    QVERIFY(!ini.at("Plan2").count("OffsiteEndpoint") && !ini.at("Plan2").count("OffsitePathStyle"));
    QVERIFY(!ini.at("Plan").count("OffsiteUrl"));
    fx.Reopen();
    QCOMPARE(fx.Controller->PlanEntries().at(1).Offsite, place);
  }

  // A file the program wrote before it knew the off-site keys: opening and
  // OK-ing the parameters (of the program, and of entry 2) and the schedule
  // unchanged writes it back byte for byte.
  void UnchangedDialogsKeepTheBytes() {
    TDialogFixture fx("[Main]\nDataBase=/db/a.fdb\n[Plan]\nDay2Back=1\n");
    TSettings& settings = fx.Controller->Settings();
    SetPlanEntries(settings, {PlanEntriesOf(settings).front(), NewPlanEntry(settings, "/db/b.fdb")});
    fx.Controller->WriteIni();
    fx.Controller->SavePlan();
    const QByteArray text = fx.ReadText();
    QVERIFY(text.contains("[Plan2]") && !text.contains("Offsite"));
    fx.Reopen();
    {
      const TSettings before = fx.Controller->Settings();
      TParamsForm params(nullptr, fx.Controller->Settings());
      params.LoadParams(0);
      params.bbSaveClick();
      QCOMPARE(params.result(), TParamsForm::ResultSave);
      fx.Controller->WriteIni();
      fx.Controller->SaveChanges(before);
    }
    QCOMPARE(fx.ReadText(), text);
    TPlanDialog form(*fx.Controller);
    form.SelectEntry(1);
    EditEntryParams(form, [](TParamsForm&) {});
    QTest::mouseClick(form.bbOk, Qt::LeftButton);
    QCOMPARE(fx.ReadText(), text);
  }
};

QTEST_MAIN(PlanFormTest)
#include "plan_form_test.moc"
