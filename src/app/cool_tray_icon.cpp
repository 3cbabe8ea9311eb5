#include "app/cool_tray_icon.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QWindowStateChangeEvent>
#include <algorithm>
#include <climits>

#include "app/tray_host.h"

namespace {

// A zero interval would make the cycle timer spin; the shortest interval the
// original platform's timers honour is 10 ms.
constexpr std::uint32_t MinCycleInterval = 10;
// How long a notification stays up (the desktop may keep it longer).
constexpr int NotificationMs = 15000;

int TimerInterval(std::uint32_t value) {
  return static_cast<int>(std::clamp<std::uint32_t>(value, MinCycleInterval, INT_MAX));
}

}  // namespace

QString TrayTipText(const QString& hint, bool showHint) {
  if (!showHint || hint.isEmpty()) return QString();
  // Count characters, not UTF-16 units: a character outside the basic plane
  // takes two units and is never halved.
  qsizetype cut = 0;
  for (int characters = 0; cut < hint.size() && characters < MaxTrayTipLength; ++characters)
    cut += hint.at(cut).isHighSurrogate() && cut + 1 < hint.size() && hint.at(cut + 1).isLowSurrogate() ? 2 : 1;
  if (cut >= hint.size()) return hint;
  // Cut at the last word that fits whole, with a mark that more follows (the
  // notification has it all); one long word is cut where it must be.
  qsizetype space = cut - 1;  // room for the mark
  while (space > cut / 2 && !hint.at(space).isSpace()) --space;
  if (space <= cut / 2) return hint.left(cut);
  qsizetype end = space;
  while (end > 0 && (hint.at(end - 1).isSpace() || hint.at(end - 1).isPunct())) --end;
  return hint.left(end) + QChar(0x2026);
}

TCoolTrayIcon::TCoolTrayIcon(QWidget* owner) : QObject(owner), FOwner(owner), FTray(new QSystemTrayIcon(this)) {
  TrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
  FActivationOnlyHost = [] { return StatusNotifierHostRegistered(); };
  connect(FTray, &QSystemTrayIcon::activated, this, &TCoolTrayIcon::TrayActivated);

  FCycleTimer.setParent(this);
  FCycleTimer.setInterval(TimerInterval(FCycleInterval));
  connect(&FCycleTimer, &QTimer::timeout, this, &TCoolTrayIcon::CycleTick);

  // The owner window plays the part of the application window too: one
  // filter watches it for minimising and for being shown.
  if (FOwner) FOwner->installEventFilter(this);
}

TCoolTrayIcon::~TCoolTrayIcon() {
  SetIconVisible(false);
  FCycleTimer.stop();
  disconnect(FIconListGone);
  disconnect(FPopupMenuGone);
  if (FOwner) FOwner->removeEventFilter(this);
}

void TCoolTrayIcon::SetDesignPreview(bool value) {
  FDesignPreview = value;
  FPreviewing = true;
  SetIconVisible(value);
  FPreviewing = false;
}

void TCoolTrayIcon::SetIconList(TImageList* value) {
  disconnect(FIconListGone);
  FIconList = value;
  if (FIconList) {
    // The removal notice: a list that goes away is forgotten.
    FIconListGone = connect(FIconList, &QObject::destroyed, this, [this] {
      FIconList = nullptr;
      SetIconList(nullptr);
    });
  }
  SetIconIndex(0);
}

void TCoolTrayIcon::SetCycleIcons(bool value) {
  FCycleIcons = value;
  if (value) SetIconIndex(0);
  if (value)
    FCycleTimer.start();
  else
    FCycleTimer.stop();
}

void TCoolTrayIcon::SetCycleInterval(std::uint32_t value) {
  FCycleInterval = value;
  FCycleTimer.setInterval(TimerInterval(value));
}

void TCoolTrayIcon::SetHint(const QString& value) {
  FHint = value;
  RefreshInTray();
}

void TCoolTrayIcon::SetShowHint(bool value) {
  FShowHint = value;
  RefreshInTray();
}

void TCoolTrayIcon::SetIcon(const QIcon& value) {
  FIcon = value;
  RefreshInTray();
}

void TCoolTrayIcon::SetIconVisible(bool value) {
  if (value)
    AddToTray();
  else
    RemoveFromTray();
}

void TCoolTrayIcon::SetIconIndex(int value) {
  if (FIconList) {
    // A negative index names no picture; the first one stands in for it.
    FIconIndex = std::clamp(value, 0, std::max(0, FIconList->Count() - 1));
    CopyListImage(FIconIndex);
  } else {
    FIconIndex = 0;
  }
  RefreshInTray();
}

void TCoolTrayIcon::SetPopupMenu(TPopupMenu* value) {
  disconnect(FPopupMenuGone);
  FPopupMenu = value;
  if (FPopupMenu) FPopupMenuGone = connect(FPopupMenu, &QObject::destroyed, this, [this] { FPopupMenu = nullptr; });
  ExportMenu();
}

void TCoolTrayIcon::SetEnabled(bool value) {
  FEnabled = value;
  ExportMenu();
}

void TCoolTrayIcon::SetActivationOnlyHost(std::function<bool()> host) {
  FActivationOnlyHost = std::move(host);
  FActivationOnly = 0;
  ExportMenu();
}

bool TCoolTrayIcon::ActivationOnlyHost() {
  if (FActivationOnly == 0) FActivationOnly = FActivationOnlyHost && FActivationOnlyHost() ? 2 : 1;
  return FActivationOnly == 2;
}

void TCoolTrayIcon::ExportMenu() {
  const bool toHost = FPopupMenu && FEnabled && ActivationOnlyHost();
  FTray->setContextMenu(toHost ? FPopupMenu : nullptr);
}

void TCoolTrayIcon::CopyListImage(int index) {
  // An empty list leaves the current picture: the icon never goes blank.
  if (FIconList && index >= 0 && index < FIconList->Count()) FIcon = FIconList->GetIcon(index);
}

void TCoolTrayIcon::FillTrayRecord() {
  FTray->setIcon(FIcon);
  FTray->setToolTip(TrayTipText(FHint, FShowHint));
}

void TCoolTrayIcon::AddToTray() {
  if (!FPreviewing) FIconVisible = true;
  FillTrayRecord();
  FTray->show();
}

void TCoolTrayIcon::RemoveFromTray() {
  if (!FPreviewing) FIconVisible = false;
  FillTrayRecord();
  FTray->hide();
}

void TCoolTrayIcon::RefreshInTray() { FillTrayRecord(); }

bool TCoolTrayIcon::HasTray() const { return TrayAvailable ? TrayAvailable() : false; }

void TCoolTrayIcon::RevealMainWindow() {
  if (!FOwner) return;
  FOwner->setWindowState(FOwner->windowState() & ~Qt::WindowMinimized);
  FOwner->show();
  FOwner->raise();
  FOwner->activateWindow();
}

void TCoolTrayIcon::ConcealMainWindow() {
  if (!FOwner) return;
  if (HasTray())
    FOwner->hide();
  else
    FOwner->showMinimized();
}

void TCoolTrayIcon::MinimizeNow() {
  ConcealMainWindow();
  SetIconVisible(true);
}

void TCoolTrayIcon::ShowNotification(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon) {
  if (FIconVisible && FTray->isVisible()) FTray->showMessage(title, text, icon, NotificationMs);
}

void TCoolTrayIcon::PopupAtCursor() {
  // The host shows the menu it was handed.
  if (!FPopupMenu || !FPopupMenu->AutoPopup || FTray->contextMenu() == FPopupMenu) return;
  const QPoint at = QCursor::pos();
  if (FOwner) FOwner->activateWindow();
  FPopupMenu->PopupComponent = this;
  FPopupMenu->popup(at);
}

void TCoolTrayIcon::RunDefaultMenuItem() {
  if (!FPopupMenu || !FPopupMenu->AutoPopup || FLeftPopup) return;
  // Only an item of the menu's own top level counts.
  QAction* item = FPopupMenu->defaultAction();
  if (item && FPopupMenu->actions().contains(item)) item->trigger();
}

TShiftState TCoolTrayIcon::CurrentShift(TShiftState button) const {
  const Qt::KeyboardModifiers keys = QGuiApplication::queryKeyboardModifiers();
  TShiftState shift = button;
  if (keys & Qt::ShiftModifier) shift |= ssShift;
  if (keys & Qt::AltModifier) shift |= ssAlt;
  if (keys & Qt::ControlModifier) shift |= ssCtrl;
  return shift;
}

void TCoolTrayIcon::HandleTrayMessage(TTrayMessage message) {
  if (!FEnabled) return;
  const QPoint at = QCursor::pos();
  switch (message) {
    case TTrayMessage::MouseMove: MouseMove(CurrentShift(0), at.x(), at.y()); break;
    case TTrayMessage::LeftButtonDown:
      MouseDown(TMouseButton::mbLeft, CurrentShift(ssLeft), at.x(), at.y());
      FClickPending = true;
      if (FLeftPopup) PopupAtCursor();
      break;
    case TTrayMessage::LeftButtonUp:
      if (FClickPending) {
        FClickPending = false;
        Click();
      }
      MouseUp(TMouseButton::mbLeft, CurrentShift(ssLeft), at.x(), at.y());
      break;
    case TTrayMessage::LeftButtonDblClk:
      DblClick();
      RunDefaultMenuItem();
      break;
    case TTrayMessage::RightButtonDown:
      MouseDown(TMouseButton::mbRight, CurrentShift(ssRight), at.x(), at.y());
      PopupAtCursor();
      break;
    case TTrayMessage::RightButtonUp: MouseUp(TMouseButton::mbRight, CurrentShift(ssRight), at.x(), at.y()); break;
    case TTrayMessage::MiddleButtonDown:
      MouseDown(TMouseButton::mbMiddle, CurrentShift(ssMiddle), at.x(), at.y());
      break;
    case TTrayMessage::MiddleButtonUp: MouseUp(TMouseButton::mbMiddle, CurrentShift(ssMiddle), at.x(), at.y()); break;
  }
}

// Qt reports a click as one activation; it stands for the press and release
// that the component's rules are written for.
void TCoolTrayIcon::TrayActivated(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      HandleTrayMessage(TTrayMessage::LeftButtonDown);
      HandleTrayMessage(TTrayMessage::LeftButtonUp);
      if (ActivationOnlyHost()) HandleTrayMessage(TTrayMessage::LeftButtonDblClk);
      break;
    case QSystemTrayIcon::DoubleClick: HandleTrayMessage(TTrayMessage::LeftButtonDblClk); break;
    case QSystemTrayIcon::Context:
      HandleTrayMessage(TTrayMessage::RightButtonDown);
      HandleTrayMessage(TTrayMessage::RightButtonUp);
      break;
    case QSystemTrayIcon::MiddleClick:
      HandleTrayMessage(TTrayMessage::MiddleButtonDown);
      HandleTrayMessage(TTrayMessage::MiddleButtonUp);
      break;
    case QSystemTrayIcon::Unknown: break;
  }
}

void TCoolTrayIcon::CycleTick() {
  if (!FIconList) return;
  const int count = FIconList->Count();
  CopyListImage(FIconIndex);
  // The index the next tick shows: after the last picture comes the first.
  const int next = FIconIndex < count - 1 ? FIconIndex + 1 : 0;
  Cycle(next);
  RefreshInTray();
  FIconIndex = next;
}

void TCoolTrayIcon::ShellRestarted() {
  if (FIconVisible) AddToTray();
}

void TCoolTrayIcon::Loaded() {
  if (FStartMinimized) ConcealMainWindow();
  RefreshInTray();
  SetIconVisible(FIconVisible);
}

void TCoolTrayIcon::Click() {
  if (OnClick) OnClick(this);
}

void TCoolTrayIcon::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TCoolTrayIcon::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TCoolTrayIcon::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TCoolTrayIcon::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TCoolTrayIcon::Cycle(int nextIndex) {
  if (OnCycle) OnCycle(this, nextIndex);
}

bool TCoolTrayIcon::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FOwner) {
    switch (event->type()) {
      case QEvent::WindowStateChange:
        // Hiding a window from inside its own state change confuses some
        // window managers; the hiding follows as soon as the change is done.
        if (FMinimizeToTray && FOwner->isMinimized() && !FMinimizeQueued) {
          FMinimizeQueued = true;
          QTimer::singleShot(0, this, [this] {
            FMinimizeQueued = false;
            if (FOwner && FMinimizeToTray && FOwner->isMinimized() && FOwner->isVisible()) MinimizeNow();
          });
        }
        break;
      case QEvent::Show:
        // Shown by the program (not by the window manager): to the front.
        if (!event->spontaneous() && !FOwner->isMinimized()) {
          FOwner->raise();
          FOwner->activateWindow();
        }
        break;
      default: break;
    }
  }
  return QObject::eventFilter(watched, event);
}
