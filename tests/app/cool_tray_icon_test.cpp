// The tray icon component's own rules, without a notification area: property
// setters, mouse-event gating, the menu, cycling, and hiding the owner window.

#include <QAction>
#include <QApplication>
#include <QPixmap>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <memory>

#include "app/cool_tray_icon.h"

namespace {

QIcon Solid(Qt::GlobalColor color) {
  QPixmap pixmap(16, 16);
  pixmap.fill(color);
  return QIcon(pixmap);
}

std::unique_ptr<TImageList> ThreeIcons() {
  auto list = std::make_unique<TImageList>();
  list->Add(Solid(Qt::green));
  list->Add(Solid(Qt::red));
  list->Add(Solid(Qt::blue));
  return list;
}

QString ButtonName(TMouseButton button) {
  switch (button) {
    case TMouseButton::mbLeft: return "L";
    case TMouseButton::mbRight: return "R";
    case TMouseButton::mbMiddle: return "M";
  }
  return "?";
}

// Records every event of a component as short words.
void Record(TCoolTrayIcon& tray, QStringList& log) {
  tray.OnClick = [&log](QObject*) { log << "click"; };
  tray.OnDblClick = [&log](QObject*) { log << "dblclick"; };
  tray.OnMouseDown = [&log](QObject*, TMouseButton b, TShiftState s, int, int) {
    log << "down " + ButtonName(b) + ((s & (ssLeft | ssRight | ssMiddle)) ? "+btn" : "");
  };
  tray.OnMouseUp = [&log](QObject*, TMouseButton b, TShiftState, int, int) { log << "up " + ButtonName(b); };
  tray.OnMouseMove = [&log](QObject*, TShiftState, int, int) { log << "move"; };
}

}  // namespace

class CoolTrayIconTest : public QObject {
  Q_OBJECT

 private slots:
  void ConstructionDoesNotAddTheIcon() {
    QWidget owner;
    QPointer<TCoolTrayIcon> tray = new TCoolTrayIcon(&owner);
    QVERIFY(tray->IconVisible());
    QVERIFY(tray->Enabled());
    QVERIFY(!tray->TrayIcon().isVisible());
    QCOMPARE(tray->IconIndex(), 0);
    QCOMPARE(tray->CycleInterval(), 0u);
    QVERIFY(!tray->CycleTimer().isActive());
    QVERIFY(!tray->ShowHint());
    QVERIFY(!tray->MinimizeToTray());
  }

  void DestroyedWithItsOwner() {
    auto owner = std::make_unique<QWidget>();
    QPointer<TCoolTrayIcon> tray = new TCoolTrayIcon(owner.get());
    tray->SetIconVisible(true);
    owner.reset();
    QVERIFY(tray.isNull());
  }

  void IconIndex_data() {
    QTest::addColumn<bool>("withList");
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("stored");
    QTest::newRow("first") << true << 0 << 0;
    QTest::newRow("middle") << true << 1 << 1;
    QTest::newRow("last") << true << 2 << 2;
    QTest::newRow("beyond the list: the last") << true << 7 << 2;
    QTest::newRow("negative: the first") << true << -3 << 0;
    QTest::newRow("no list: 0") << false << 2 << 0;
  }
  void IconIndex() {
    QFETCH(bool, withList);
    QFETCH(int, asked);
    QFETCH(int, stored);
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    auto list = ThreeIcons();
    const QIcon own = Solid(Qt::yellow);
    tray.SetIcon(own);
    if (withList) tray.SetIconList(list.get());
    tray.SetIconIndex(asked);
    QCOMPARE(tray.IconIndex(), stored);
    const QIcon expected = withList ? list->GetIcon(stored) : own;
    QCOMPARE(tray.Icon().cacheKey(), expected.cacheKey());
    QCOMPARE(tray.TrayIcon().icon().cacheKey(), expected.cacheKey());
  }

  void IconListSelectsItsFirstPictureAndIsForgottenWhenGone() {
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    auto list = ThreeIcons();
    tray.SetIconList(list.get());
    tray.SetIconIndex(2);
    tray.SetIconList(list.get());
    QCOMPARE(tray.IconIndex(), 0);
    QCOMPARE(tray.Icon().cacheKey(), list->GetIcon(0).cacheKey());
    tray.SetIconIndex(1);
    list.reset();
    QCOMPARE(tray.IconList(), nullptr);
    QCOMPARE(tray.IconIndex(), 0);
    tray.SetIconIndex(2);  // no list any more: stays 0, nothing dangles
    QCOMPARE(tray.IconIndex(), 0);
  }

  void AnEmptyListKeepsThePicture() {
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    const QIcon own = Solid(Qt::yellow);
    tray.SetIcon(own);
    TImageList empty;
    tray.SetIconList(&empty);
    tray.SetIconIndex(3);
    QCOMPARE(tray.IconIndex(), 0);
    QCOMPARE(tray.Icon().cacheKey(), own.cacheKey());
  }

  void TipText_data() {
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("showHint");
    QTest::addColumn<QString>("tip");
    const QString long200 = QString(200, QChar(u'Ж'));
    QTest::newRow("shown") << "Quorvin" << true << "Quorvin";
    QTest::newRow("ShowHint off") << "Quorvin" << false << "";
    QTest::newRow("empty") << "" << true << "";
    QTest::newRow("127 kept") << QString(127, 'x') << true << QString(127, 'x');
    QTest::newRow("200 cut to 127") << long200 << true << long200.left(127);
    // A character outside the basic plane is two UTF-16 units but one
    // character: counted once, never halved.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("127th character wide") << QString(126, 'a') + emoji + "tail" << true << QString(126, 'a') + emoji;
    QString wide;
    for (int i = 0; i < 130; ++i) wide += emoji;
    QString wide127;
    for (int i = 0; i < 127; ++i) wide127 += emoji;
    QTest::newRow("all wide") << wide << true << wide127;
    // Words: cut after the last whole one, with a mark that more follows.
    QTest::newRow("at a word") << QString("abc ").repeated(40) << true
                               << QString("abc ").repeated(31).chopped(1) + QChar(0x2026);
    QTest::newRow("punctuation before the cut")
        << QString("abcdefgh, ").repeated(13) << true << QString("abcdefgh, ").repeated(12).chopped(2) + QChar(0x2026);
  }
  void TipText() {
    QFETCH(QString, hint);
    QFETCH(bool, showHint);
    QFETCH(QString, tip);
    QCOMPARE(TrayTipText(hint, showHint), tip);
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    tray.SetHint(hint);
    tray.SetShowHint(showHint);
    QCOMPARE(tray.TrayIcon().toolTip(), tip);
    QCOMPARE(tray.Hint(), hint);  // the property itself keeps the whole text
  }

  void IconVisibleAddsAndRemoves() {
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    tray.SetIcon(Solid(Qt::red));
    tray.SetIconVisible(true);
    QVERIFY(tray.TrayIcon().isVisible());
    QVERIFY(tray.IconVisible());
    tray.SetIconVisible(false);
    QVERIFY(!tray.TrayIcon().isVisible());
    QVERIFY(!tray.IconVisible());
  }

  void DesignPreviewShowsWithoutChangingTheIntent() {
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    tray.SetIcon(Solid(Qt::red));
    tray.SetIconVisible(false);
    tray.SetDesignPreview(true);
    QVERIFY(tray.DesignPreview());
    QVERIFY(tray.TrayIcon().isVisible());
    QVERIFY(!tray.IconVisible());
    tray.SetDesignPreview(false);
    QVERIFY(!tray.TrayIcon().isVisible());
  }

  void ShellRestartBringsTheIconBackWhileMeantToBeThere() {
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    tray.SetIcon(Solid(Qt::red));
    tray.ShellRestarted();  // IconVisible is on from construction
    QVERIFY(tray.TrayIcon().isVisible());
    tray.SetIconVisible(false);
    tray.ShellRestarted();
    QVERIFY(!tray.TrayIcon().isVisible());
  }

  void MouseMessages_data() {
    QTest::addColumn<QList<int>>("messages");
    QTest::addColumn<QStringList>("events");
    using M = TTrayMessage;
    auto m = [](std::initializer_list<M> list) {
      QList<int> out;
      for (M x : list) out << static_cast<int>(x);
      return out;
    };
    QTest::newRow("left click") << m({M::LeftButtonDown, M::LeftButtonUp})
                                << QStringList{"down L+btn", "click", "up L"};
    QTest::newRow("release without press: no click") << m({M::LeftButtonUp}) << QStringList{"up L"};
    QTest::newRow("double click") << m({M::LeftButtonDown, M::LeftButtonUp, M::LeftButtonDblClk, M::LeftButtonUp})
                                  << QStringList{"down L+btn", "click", "up L", "dblclick", "up L"};
    QTest::newRow("right") << m({M::RightButtonDown, M::RightButtonUp}) << QStringList{"down R+btn", "up R"};
    QTest::newRow("middle") << m({M::MiddleButtonDown, M::MiddleButtonUp}) << QStringList{"down M+btn", "up M"};
    QTest::newRow("move") << m({M::MouseMove}) << QStringList{"move"};
  }
  void MouseMessages() {
    QFETCH(QList<int>, messages);
    QFETCH(QStringList, events);
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    QStringList log;
    Record(tray, log);
    for (int message : messages) tray.HandleTrayMessage(static_cast<TTrayMessage>(message));
    QCOMPARE(log, events);

    // Disabled: the same messages raise nothing, and the icon stays.
    log.clear();
    tray.SetIcon(Solid(Qt::red));
    tray.SetIconVisible(true);
    tray.SetEnabled(false);
    for (int message : messages) tray.HandleTrayMessage(static_cast<TTrayMessage>(message));
    QVERIFY(log.isEmpty());
    QVERIFY(tray.TrayIcon().isVisible());
  }

  // A StatusNotifierItem host reports a click as one activation and never a
  // double click: there the activation also does what the double click does.
  void QtActivationsBecomeMouseMessages_data() {
    QTest::addColumn<bool>("activationOnly");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("XEmbed tray") << false
                                 << QStringList{"down L+btn", "click",      "up L", "down L+btn", "click", "up L",
                                                "dblclick",   "down R+btn", "up R", "down M+btn", "up M"};
    QTest::newRow("StatusNotifierItem host")
        << true << QStringList{"down L+btn", "click",    "up L",       "dblclick", "down L+btn", "click", "up L",
                               "dblclick",   "dblclick", "down R+btn", "up R",     "down M+btn", "up M"};
  }
  void QtActivationsBecomeMouseMessages() {
    QFETCH(bool, activationOnly);
    QFETCH(QStringList, events);
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    int asked = 0;
    tray.SetActivationOnlyHost([&] {
      ++asked;
      return activationOnly;
    });
    TPopupMenu menu;
    tray.SetPopupMenu(&menu);
    // A StatusNotifierItem host is handed the menu, and shows it itself.
    QCOMPARE(tray.TrayIcon().contextMenu(), activationOnly ? &menu : nullptr);
    tray.SetEnabled(false);
    QCOMPARE(tray.TrayIcon().contextMenu(), nullptr);
    tray.SetEnabled(true);
    QStringList log;
    Record(tray, log);
    auto& qtIcon = const_cast<QSystemTrayIcon&>(tray.TrayIcon());
    emit qtIcon.activated(QSystemTrayIcon::Trigger);
    emit qtIcon.activated(QSystemTrayIcon::Trigger);
    emit qtIcon.activated(QSystemTrayIcon::DoubleClick);
    emit qtIcon.activated(QSystemTrayIcon::Context);
    emit qtIcon.activated(QSystemTrayIcon::MiddleClick);
    QCOMPARE(log, events);
    QCOMPARE(asked, 1);
  }

  void Popup_data() {
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("autoPopup");
    QTest::addColumn<bool>("leftPopup");
    QTest::addColumn<int>("message");
    QTest::addColumn<bool>("opens");
    const int right = static_cast<int>(TTrayMessage::RightButtonDown);
    const int left = static_cast<int>(TTrayMessage::LeftButtonDown);
    QTest::newRow("right press opens") << true << true << false << right << true;
    QTest::newRow("not when disabled") << false << true << false << right << false;
    QTest::newRow("not without AutoPopup") << true << false << false << right << false;
    QTest::newRow("left press: only with LeftPopup") << true << true << false << left << false;
    QTest::newRow("left press with LeftPopup") << true << true << true << left << true;
  }
  void Popup() {
    QFETCH(bool, enabled);
    QFETCH(bool, autoPopup);
    QFETCH(bool, leftPopup);
    QFETCH(int, message);
    QFETCH(bool, opens);
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    TPopupMenu menu;
    menu.addAction("Восстановить");
    menu.AutoPopup = autoPopup;
    tray.SetPopupMenu(&menu);
    tray.SetEnabled(enabled);
    tray.SetLeftPopup(leftPopup);
    tray.HandleTrayMessage(static_cast<TTrayMessage>(message));
    QCOMPARE(menu.isVisible(), opens);
    if (opens) QCOMPARE(menu.PopupComponent.data(), &tray);
    menu.hide();
  }

  void PopupWithoutMenuIsHarmless() {
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    {
      TPopupMenu menu;
      tray.SetPopupMenu(&menu);
    }
    QCOMPARE(tray.PopupMenu(), nullptr);
    tray.HandleTrayMessage(TTrayMessage::RightButtonDown);
    tray.PopupAtCursor();
  }

  void DoubleClickRunsTheDefaultItem_data() {
    QTest::addColumn<bool>("autoPopup");
    QTest::addColumn<bool>("leftPopup");
    QTest::addColumn<bool>("inMenu");
    QTest::addColumn<bool>("runs");
    QTest::newRow("default item runs") << true << false << true << true;
    QTest::newRow("not with LeftPopup") << true << true << true << false;
    QTest::newRow("not without AutoPopup") << false << false << true << false;
    QTest::newRow("only an item of the menu") << true << false << false << false;
  }
  void DoubleClickRunsTheDefaultItem() {
    QFETCH(bool, autoPopup);
    QFETCH(bool, leftPopup);
    QFETCH(bool, inMenu);
    QFETCH(bool, runs);
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    TPopupMenu menu;
    QAction* other = menu.addAction("Закрыть");
    QAction stray("stray");
    QAction* item = inMenu ? menu.addAction("Восстановить") : &stray;
    menu.setDefaultAction(item);
    menu.AutoPopup = autoPopup;
    tray.SetPopupMenu(&menu);
    tray.SetLeftPopup(leftPopup);
    QSignalSpy ran(item, &QAction::triggered);
    QSignalSpy otherRan(other, &QAction::triggered);
    int dbl = 0;
    tray.OnDblClick = [&dbl](QObject*) { ++dbl; };
    tray.HandleTrayMessage(TTrayMessage::LeftButtonDblClk);
    QCOMPARE(dbl, 1);
    QCOMPARE(ran.count(), runs ? 1 : 0);
    QCOMPARE(otherRan.count(), 0);
    menu.hide();
  }

  void CycleTickStepsThroughTheList() {
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    auto list = ThreeIcons();
    tray.SetIconList(list.get());
    QList<int> next;
    QList<qint64> shown;
    tray.OnCycle = [&](QObject* sender, int nextIndex) {
      QCOMPARE(sender, &tray);
      next << nextIndex;
      shown << tray.Icon().cacheKey();
    };
    for (int i = 0; i < 4; ++i) tray.CycleTick();
    QCOMPARE(next, (QList<int>{1, 2, 0, 1}));
    QCOMPARE(shown, (QList<qint64>{list->GetIcon(0).cacheKey(), list->GetIcon(1).cacheKey(),
                                   list->GetIcon(2).cacheKey(), list->GetIcon(0).cacheKey()}));
    QCOMPARE(tray.IconIndex(), 1);
    QCOMPARE(tray.TrayIcon().icon().cacheKey(), list->GetIcon(0).cacheKey());
  }

  void CycleTickWithoutListDoesNothing() {
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    int cycles = 0;
    tray.OnCycle = [&](QObject*, int) { ++cycles; };
    tray.CycleTick();
    QCOMPARE(cycles, 0);
  }

  void CycleTimer() {
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    auto list = ThreeIcons();
    tray.SetIconList(list.get());
    tray.SetIconIndex(2);
    QCOMPARE(tray.CycleTimer().interval(), 10);  // a zero interval never spins
    tray.SetCycleInterval(20);
    QCOMPARE(tray.CycleInterval(), 20u);
    QCOMPARE(tray.CycleTimer().interval(), 20);
    int cycles = 0;
    tray.OnCycle = [&](QObject*, int) { ++cycles; };
    tray.SetCycleIcons(true);
    QCOMPARE(tray.IconIndex(), 0);
    QVERIFY(tray.CycleTimer().isActive());
    QTRY_VERIFY(cycles >= 2);
    tray.SetCycleIcons(false);
    QVERIFY(!tray.CycleTimer().isActive());
    tray.SetCycleInterval(0xFFFFFFFFu);
    QVERIFY(tray.CycleTimer().interval() > 0);
  }

  void ConcealAndReveal_data() {
    QTest::addColumn<bool>("trayAvailable");
    QTest::newRow("with a notification area") << true;
    QTest::newRow("without one") << false;
  }
  void ConcealAndReveal() {
    QFETCH(bool, trayAvailable);
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    tray.TrayAvailable = [trayAvailable] { return trayAvailable; };
    owner.show();
    tray.ConcealMainWindow();
    if (trayAvailable) {
      QVERIFY(!owner.isVisible());
    } else {
      // Hiding would leave no way back: the window is minimised instead.
      QVERIFY(owner.isVisible());
      QVERIFY(owner.isMinimized());
    }
    tray.RevealMainWindow();
    QVERIFY(owner.isVisible());
    QVERIFY(!owner.isMinimized());
  }

  void MinimizeToTray_data() {
    QTest::addColumn<bool>("minimizeToTray");
    QTest::addColumn<bool>("trayAvailable");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("iconAdded");
    QTest::newRow("on: hidden into the tray") << true << true << true << true;
    QTest::newRow("on, no tray: stays minimised") << true << false << false << true;
    QTest::newRow("off: just minimised") << false << true << false << false;
  }
  void MinimizeToTray() {
    QFETCH(bool, minimizeToTray);
    QFETCH(bool, trayAvailable);
    QFETCH(bool, hidden);
    QFETCH(bool, iconAdded);
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    tray.TrayAvailable = [trayAvailable] { return trayAvailable; };
    tray.SetIcon(Solid(Qt::red));
    tray.SetMinimizeToTray(minimizeToTray);
    owner.show();
    owner.showMinimized();
    QTest::qWait(50);
    QCOMPARE(!owner.isVisible(), hidden);
    QCOMPARE(tray.TrayIcon().isVisible(), iconAdded);
    if (!hidden) QVERIFY(owner.isMinimized());
  }

  void StartMinimizedHidesTheOwnerWhenLoaded() {
    QWidget owner;
    TCoolTrayIcon tray(&owner);
    tray.TrayAvailable = [] { return true; };
    tray.SetIcon(Solid(Qt::red));
    owner.show();
    tray.Loaded();  // StartMinimized off: the owner stays
    QVERIFY(owner.isVisible());
    QVERIFY(tray.TrayIcon().isVisible());  // IconVisible was on
    tray.SetStartMinimized(true);
    tray.Loaded();
    QVERIFY(!owner.isVisible());
  }
};

QTEST_MAIN(CoolTrayIconTest)
#include "cool_tray_icon_test.moc"
