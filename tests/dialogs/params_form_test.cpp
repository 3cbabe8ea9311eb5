// The parameters dialog against a real controller: every control loads from
// its field and stores back, "Закрыть" changes nothing, the protocol list
// copes with values it does not offer, and the settings file is left alone.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "dialog_fixture.h"
#include "dialogs/offsite_group.h"
#include "dialogs/params_form.h"

namespace {

// Every switch in the dialog's storing order: control and field.
std::vector<std::pair<QCheckBox*, bool*>> Switches(TParamsForm& form, TDatabaseOptions& o) {
  return {{form.BackShutDown, &o.BackShutDown},   {form.chkBK1, &o.BackParam1},          {form.chkBK2, &o.BackParam2},
          {form.chkBK3, &o.BackParam3},           {form.chkBK4, &o.BackParam4},          {form.chkBK5, &o.BackParam5},
          {form.chkBK6, &o.BackParam6},           {form.chkBK7, &o.BackParam7},          {form.chkRS1, &o.RestParam1},
          {form.chkRS2, &o.RestParam2},           {form.chkRS3, &o.RestParam3},          {form.chkRS4, &o.RestParam4},
          {form.chkRS5, &o.RestParam5},           {form.chkRS6, &o.RestParam6},          {form.chkRS7, &o.RestParam7},
          {form.cbAutoBackName, &o.AutoBackName}, {form.cbVerifyBackup, &o.VerifyBackup}};
}

// Runs `during` once the modal loop is up.
void WhileModal(std::function<void()> during) { QTimer::singleShot(0, std::move(during)); }

}  // namespace

class ParamsFormTest : public QObject {
  Q_OBJECT

 private slots:
  void Captions() {
    TDialogFixture fx;
    TParamsForm form(nullptr, fx.Controller->Settings());
    QCOMPARE(form.windowTitle(), QString::fromUtf8("Параметры"));
    QCOMPARE(form.Label6->text(), QString::fromUtf8("Протокол"));
    QCOMPARE(form.bbSave->text(), QString::fromUtf8("Сохранить"));
    QCOMPARE(form.bbClose->text(), QString::fromUtf8("Закрыть"));
    QVERIFY(!form.brProtocol->isEditable());
    QStringList items;
    for (int i = 0; i < form.brProtocol->count(); ++i) items << form.brProtocol->itemText(i);
    QCOMPARE(items, (QStringList{"TCP", "SPX", "Named Pipes", "Local"}));
    const QStringList captions{"Shutdown DB",
                               "Ignore Check sum",
                               "Ignore Limbo Transactions",
                               "Metadata Only",
                               "Old Metadata Description",
                               "No Garbage Collection",
                               "Non-Transportable",
                               "Convert External Tables",
                               "Deactivate Indexes",
                               "No Shadow Files",
                               "No Validity Check",
                               "One Relation At A Time",
                               "Replace",
                               "Create New Database",
                               "Use All Space",
                               QString::fromUtf8("Генерировать имя резервной копии"),
                               QString::fromUtf8("Проверять копию восстановлением")};
    const auto switches = Switches(form, fx.Controller->Settings());
    for (std::size_t i = 0; i < switches.size(); ++i)
      QCOMPARE(switches[i].first->text(), captions[static_cast<int>(i)]);
    QCOMPARE(form.Notebook->count(), 2);
    QVERIFY(form.chkBK1->parentWidget() == form.Notebook->widget(0));
    QVERIFY(form.cbAutoBackName->parentWidget() == form.Notebook->widget(0));
    QVERIFY(form.cbVerifyBackup->parentWidget() == form.Notebook->widget(0));
    QVERIFY(form.chkRS7->parentWidget() == form.Notebook->widget(1));
  }

  void FixedSizeAndNoClippedCaption() {
    TDialogFixture fx;
    TParamsForm form(nullptr, fx.Controller->Settings());
    form.LoadParams(0);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(form.width() >= 318 && form.height() >= 269);
    QCOMPARE(form.minimumSize(), form.maximumSize());
    const QRect screen = form.screen()->geometry();
    QVERIFY((form.geometry().center() - screen.center()).manhattanLength() < 4);
    for (auto* box : form.findChildren<QCheckBox*>()) {
      if (!box->isVisible()) continue;
      QVERIFY2(box->width() >= box->sizeHint().width(), qPrintable(box->text()));
    }
    form.Notebook->setCurrentIndex(1);
    for (auto* box : form.Notebook->widget(1)->findChildren<QCheckBox*>()) {
      QTRY_VERIFY2(box->width() >= box->sizeHint().width(), qPrintable(box->text()));
    }
    QVERIFY(!form.bbSave->isDefault() && !form.bbSave->autoDefault());
    QVERIFY(!form.bbClose->isDefault() && !form.bbClose->autoDefault());
    form.bbCloseClick();
  }

  void LoadAndStoreEverySwitch_data() {
    QTest::addColumn<int>("pattern");
    QTest::newRow("all off") << 0;
    QTest::newRow("all on") << 0xFFFF;
    QTest::newRow("alternating") << 0x5555;
    QTest::newRow("the other alternation") << 0xAAAA;
  }
  void LoadAndStoreEverySwitch() {
    QFETCH(int, pattern);
    TDialogFixture fx;
    TQuorvin& q = *fx.Controller;
    TParamsForm form(nullptr, q.Settings());
    auto switches = Switches(form, q.Settings());
    for (std::size_t i = 0; i < switches.size(); ++i) *switches[i].second = (pattern >> i) & 1;
    q.Settings().Protocol = 2;
    form.LoadParams(0);
    for (std::size_t i = 0; i < switches.size(); ++i)
      QCOMPARE(switches[i].first->isChecked(), bool((pattern >> i) & 1));
    QCOMPARE(form.brProtocol->currentIndex(), 2);

    // Every box flipped and another protocol: all of it reaches the fields.
    for (auto& [box, field] : switches) box->setChecked(!box->isChecked());
    form.brProtocol->setCurrentIndex(3);
    form.bbSaveClick();
    QCOMPARE(form.result(), 1);
    for (std::size_t i = 0; i < switches.size(); ++i) QCOMPARE(*switches[i].second, !bool((pattern >> i) & 1));
    QCOMPARE(q.Settings().Protocol, 3);
  }

  // The copy on this computer: loaded from its two fields, the folder
  // button fills the folder, and only a ticked box with a folder stores it.
  void LocalCopy() {
    TDialogFixture fx;
    TQuorvin& q = *fx.Controller;
    q.Settings().LocalCopyDir = "/srv/old";
    q.Settings().LocalCopyOnly = true;
    TParamsForm form(nullptr, q.Settings());
    form.LoadParams(0);
    QCOMPARE(form.gbLocalCopy->title(), QString::fromUtf8("Копия на этом компьютере"));
    QCOMPARE(form.chkLocalCopyOnly->text(), QString::fromUtf8("Только копия"));
    QVERIFY(form.gbLocalCopy->isChecked() && form.chkLocalCopyOnly->isChecked());
    form.ChooseFolder = [](const QString& current) { return current + "/copies"; };
    form.sbLocalCopyDir->click();
    form.bbSaveClick();
    QCOMPARE(q.Settings().LocalCopyDir, std::string("/srv/old/copies"));
    QVERIFY(q.Settings().LocalCopyOnly);
    // Ticked without a folder: "Сохранить" asks for the folder; no answer
    // saves nothing and keeps the dialog open, an answer is saved.
    form.eLocalCopyDir->clear();
    QStringList asked;
    form.ChooseFolder = [&](const QString& current) {
      asked << current;
      return asked.size() == 1 ? QString() : QString("/srv/chosen");
    };
    form.setResult(0);
    form.chkLocalCopyOnly->setChecked(false);
    form.bbSaveClick();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(form.result(), 0);
    QCOMPARE(q.Settings().LocalCopyDir, std::string("/srv/old/copies"));
    QVERIFY(q.Settings().LocalCopyOnly);
    form.bbSaveClick();
    QCOMPARE(asked.size(), 2);
    QCOMPARE(form.result(), 1);
    QCOMPARE(q.Settings().LocalCopyDir, std::string("/srv/chosen"));
    QVERIFY(!q.Settings().LocalCopyOnly);
    form.gbLocalCopy->setChecked(false);  // unticked: no copy, no "copy only"
    form.bbSaveClick();
    QVERIFY(q.Settings().LocalCopyDir.empty() && !q.Settings().LocalCopyOnly);
  }

  void CloseChangesNothing() {
    TDialogFixture fx;
    TQuorvin& q = *fx.Controller;
    q.Settings().Protocol = 1;
    TParamsForm form(nullptr, q.Settings());
    auto switches = Switches(form, q.Settings());
    std::vector<bool> before;
    for (auto& s : switches) before.push_back(*s.second);
    form.LoadParams(1);
    for (auto& [box, field] : switches) box->setChecked(!box->isChecked());
    form.brProtocol->setCurrentIndex(-1);
    form.bbCloseClick();
    QCOMPARE(form.result(), 2);
    QCOMPARE(q.Settings().Protocol, 1);
    for (std::size_t i = 0; i < switches.size(); ++i) QCOMPARE(*switches[i].second, bool(before[i]));
  }

  void TitleBarCloseIsClose() {
    TDialogFixture fx;
    TQuorvin& q = *fx.Controller;
    q.Settings().BackParam3 = false;
    TParamsForm form(nullptr, q.Settings());
    WhileModal([&] {
      form.chkBK3->setChecked(true);
      // Esc has no meaning here: the dialog stays.
      QTest::keyClick(&form, Qt::Key_Escape);
      QVERIFY(form.isVisible());
      QTest::keyClick(&form, Qt::Key_Return);
      QVERIFY(form.isVisible());
      form.close();
    });
    QCOMPARE(form.ShowParams(0), 2);
    QVERIFY(!q.Settings().BackParam3);
  }

  void Protocol_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("shown");
    QTest::newRow("none chosen") << -1 << -1;
    QTest::newRow("TCP") << 0 << 0;
    QTest::newRow("SPX") << 1 << 1;
    QTest::newRow("Named Pipes") << 2 << 2;
    QTest::newRow("Local") << 3 << 3;
    QTest::newRow("7: not offered") << 7 << -1;
    QTest::newRow("4: not offered") << 4 << -1;
    QTest::newRow("-5: not offered") << -5 << -1;
  }
  void Protocol() {
    QFETCH(int, stored);
    QFETCH(int, shown);
    TDialogFixture fx(QString("[Parameters]\nProtocol=%1\n").arg(stored));
    TQuorvin& q = *fx.Controller;
    QCOMPARE(q.Settings().Protocol, stored);
    TParamsForm form(nullptr, q.Settings());
    form.LoadParams(0);
    QCOMPARE(form.brProtocol->currentIndex(), shown);
    if (shown < 0) QVERIFY(form.brProtocol->currentText().isEmpty());
    form.bbSaveClick();
    QCOMPARE(q.Settings().Protocol, shown);  // saved unchosen: −1
  }

  void OpensOnTheCallersPageAndSavesBoth_data() {
    QTest::addColumn<int>("page");
    QTest::newRow("database page") << 0;
    QTest::newRow("restore page") << 1;
  }
  void OpensOnTheCallersPageAndSavesBoth() {
    QFETCH(int, page);
    TDialogFixture fx;
    TQuorvin& q = *fx.Controller;
    q.Settings().BackParam1 = false;
    q.Settings().RestParam1 = false;
    q.Settings().Protocol = -1;
    TParamsForm form(nullptr, q.Settings());
    int shownPage = -1;
    WhileModal([&] {
      shownPage = form.Notebook->currentIndex();
      QVERIFY(form.brProtocol->isVisible());  // above the pages, on either one
      form.chkBK1->setChecked(true);
      form.chkRS1->setChecked(true);
      form.brProtocol->setCurrentIndex(0);
      QTest::mouseClick(form.bbSave, Qt::LeftButton);
    });
    QCOMPARE(form.ShowParams(page), 1);
    QCOMPARE(shownPage, page);
    QVERIFY(q.Settings().BackParam1);
    QVERIFY(q.Settings().RestParam1);
    QCOMPARE(q.Settings().Protocol, 0);
  }

  void SavingLeavesTheSettingsFileAlone() {
    const QString ini = "[Parameters]\nProtocol=1\nBackParam1=0\n";
    TDialogFixture fx(ini);
    TParamsForm form(nullptr, fx.Controller->Settings());
    form.LoadParams(0);
    form.chkBK1->setChecked(true);
    form.brProtocol->setCurrentIndex(3);
    form.bbSaveClick();
    QCOMPARE(fx.ReadText(), ini.toUtf8());
    QVERIFY(fx.Controller->Settings().BackParam1);
  }

  // Pointed at one database of the plan, the dialog edits that entry's
  // options and leaves the program's own alone.
  void EditsTheOptionsItIsGiven() {
    TDialogFixture fx;
    TSettings& settings = fx.Controller->Settings();
    settings.Protocol = 1;
    TPlanEntry entry = NewPlanEntry(settings, "/db/b.fdb");
    entry.Protocol = 3;
    TParamsForm form(nullptr, entry);
    form.LoadParams(0);
    QCOMPARE(form.brProtocol->currentIndex(), 3);
    form.brProtocol->setCurrentIndex(2);
    form.bbSaveClick();
    QCOMPARE(entry.Protocol, 2);
    QCOMPARE(settings.Protocol, 1);
  }

  // The group's values reach entry 1's keys in [Plan] and come back in a
  // new program run; the "..." buttons fill their lines.
  void OffsiteRoundTrip() {
    TDialogFixture fx("[Main]\nDataBase=/db/a.fdb\n");
    const TSettings before = fx.Controller->Settings();
    const TOffsiteSettings place{"s3://backups/shop", "http://127.0.0.1:7480", "eu-1", true, "/etc/q/keys", ""};
    {
      TParamsForm form(nullptr, fx.Controller->Settings());
      form.LoadParams(0);
      QCOMPARE(ShownOffsite(&form), TOffsiteSettings{});
      TypeOffsite(&form, place);
      auto* group = form.findChild<TOffsiteGroup*>("gbOffsite");
      QCOMPARE(group->title(), QString::fromUtf8("Копия в объектном хранилище"));
      QString asked;
      group->ChooseFile = [&](const QString& title, const QString&) {
        asked = title;
        return QString("/etc/q/crypt.key");
      };
      QTest::mouseClick(form.findChild<QToolButton*>("sbOffsiteEncryptKey"), Qt::LeftButton);
      QCOMPARE(asked, QString::fromUtf8("Выберите файл ключа шифрования"));
      form.bbSaveClick();
      QCOMPARE(form.result(), TParamsForm::ResultSave);
    }
    // As the window saves it: only the changed keys are written.
    fx.Controller->SaveChanges(before);
    const auto ini = fx.ReadIni();
    QCOMPARE(ini.at("Plan").size(), std::size_t(6));  // the group's keys, no other
    QCOMPARE(ini.at("Plan").at("OffsiteUrl"), QString("s3://backups/shop"));
    QCOMPARE(ini.at("Plan").at("OffsiteEncryptKey"), QString("/etc/q/crypt.key"));
    fx.Reopen();
    TOffsiteSettings expected = place;
    expected.EncryptKey = "/etc/q/crypt.key";
    QCOMPARE(fx.Controller->Settings().Offsite, expected);
    TParamsForm again(nullptr, fx.Controller->Settings());
    again.LoadParams(0);
    QCOMPARE(ShownOffsite(&again), expected);
  }

  // A place the core would not reach, or a key typed where its file
  // belongs, is refused with a box saying why; nothing is stored.
  void OffsiteRefused_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("told");
    QTest::newRow("not s3") << "eOffsiteUrl"
                            << "https://backups/shop"
                            << "s3://bucket/prefix";
    QTest::newRow("bad bucket") << "eOffsiteUrl"
                                << "s3://Bad_Bucket/x"
                                << "Bad_Bucket";
    QTest::newRow("endpoint") << "eOffsiteEndpoint"
                              << "ftp://store"
                              << "ftp://store";
    QTest::newRow("a key, not a file") << "eOffsiteCredentials"
                                       << "AKIAEXAMPLE"
                                       << "Файл ключей доступа";
    QTest::newRow("relative key file") << "eOffsiteEncryptKey"
                                       << "crypt.key"
                                       << "Файл ключа шифрования";
  }
  void OffsiteRefused() {
    QFETCH(QString, line);
    QFETCH(QString, text);
    QFETCH(QString, told);
    TDialogFixture fx;
    TDatabaseOptions options;
    TParamsForm form(nullptr, options);
    form.LoadParams(1);
    form.chkRS1->setChecked(true);
    OffsiteLine(&form, "eOffsiteUrl")->setText("s3://backups");
    OffsiteLine(&form, qPrintable(line))->setText(text);
    TRecordingBoxes boxes;
    form.bbSaveClick();
    QCOMPARE(boxes.Messages.size(), std::size_t(1));
    QVERIFY2(QString::fromStdString(boxes.Messages[0]).contains(told), boxes.Messages[0].c_str());
    if (line != "eOffsiteUrl" && line != "eOffsiteEndpoint")
      QVERIFY(!QString::fromStdString(boxes.Messages[0]).contains(text));  // a key is not shown back
    QCOMPARE(form.result(), 0);
    QCOMPARE(form.Notebook->currentIndex(), 0);
    QVERIFY(!options.RestParam1 && !options.Offsite.Active());
  }
};

QTEST_MAIN(ParamsFormTest)
#include "params_form_test.moc"
