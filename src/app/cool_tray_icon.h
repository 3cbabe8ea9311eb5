#pragma once
// TCoolTrayIcon: the program's icon in the notification area. The component
// keeps its own rules (properties, mouse-event gating, menu, hiding and
// showing the owner window) in plain code; QSystemTrayIcon only carries the
// picture and tool tip to the notification area and reports clicks on it, so
// every rule can be exercised without a notification area.

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "app/image_list.h"
#include "app/popup_menu.h"

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// A set of TShiftFlag bits.
using TShiftState = unsigned;
enum TShiftFlag : unsigned {
  ssShift = 1u << 0,
  ssAlt = 1u << 1,
  ssCtrl = 1u << 2,
  ssLeft = 1u << 3,
  ssRight = 1u << 4,
  ssMiddle = 1u << 5,
};

// The mouse messages the notification area reports for the icon (numbered as
// the Windows messages they stand for).
enum class TTrayMessage : unsigned {
  MouseMove = 0x200,
  LeftButtonDown = 0x201,
  LeftButtonUp = 0x202,
  LeftButtonDblClk = 0x203,
  RightButtonDown = 0x204,
  RightButtonUp = 0x205,
  MiddleButtonDown = 0x207,
  MiddleButtonUp = 0x208,
};

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TTrayMouseEvent = std::function<void(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TTrayMouseMoveEvent = std::function<void(QObject* Sender, TShiftState Shift, int X, int Y)>;
using TCycleEvent = std::function<void(QObject* Sender, int NextIndex)>;

// Longest tool tip the notification area is given, in characters.
constexpr int MaxTrayTipLength = 127;

// The tool tip as the notification area gets it: empty unless `showHint` is
// on, otherwise `hint` cut to MaxTrayTipLength characters (a character
// outside the basic plane counts once and is never halved): after the last
// whole word with "…", or inside a word that alone fills half the room.
QString TrayTipText(const QString& hint, bool showHint);

class TCoolTrayIcon : public QObject {
  Q_OBJECT

 public:
  // `owner` is the main window: the component is destroyed with it and hides
  // and shows it.
  explicit TCoolTrayIcon(QWidget* owner);
  ~TCoolTrayIcon() override;

  // Properties, with the setters' effects.
  bool DesignPreview() const { return FDesignPreview; }
  void SetDesignPreview(bool value);
  TImageList* IconList() const { return FIconList; }
  void SetIconList(TImageList* value);
  bool CycleIcons() const { return FCycleIcons; }
  void SetCycleIcons(bool value);
  std::uint32_t CycleInterval() const { return FCycleInterval; }
  void SetCycleInterval(std::uint32_t value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  const QString& Hint() const { return FHint; }
  void SetHint(const QString& value);
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool value);
  const QIcon& Icon() const { return FIcon; }
  void SetIcon(const QIcon& value);
  bool IconVisible() const { return FIconVisible; }
  void SetIconVisible(bool value);
  int IconIndex() const { return FIconIndex; }
  void SetIconIndex(int value);
  TPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* value);
  bool LeftPopup() const { return FLeftPopup; }
  void SetLeftPopup(bool value) { FLeftPopup = value; }
  bool StartMinimized() const { return FStartMinimized; }
  void SetStartMinimized(bool value) { FStartMinimized = value; }
  bool MinimizeToTray() const { return FMinimizeToTray; }
  void SetMinimizeToTray(bool value) { FMinimizeToTray = value; }

  // Events.
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TTrayMouseEvent OnMouseDown;
  TTrayMouseEvent OnMouseUp;
  TTrayMouseMoveEvent OnMouseMove;
  TCycleEvent OnCycle;

  // Put the icon into the notification area / take it out / update its
  // picture and tool tip there.
  virtual void AddToTray();
  virtual void RemoveFromTray();
  virtual void RefreshInTray();

  // Show the owner window in its normal state and bring it to the front.
  void RevealMainWindow();
  // Hide the owner window; where the platform has no notification area the
  // window is minimised instead, so the program can always be reached.
  void ConcealMainWindow();
  // A notification from the icon (a balloon, or the desktop's notification
  // service); nothing while the icon is out of the notification area.
  void ShowNotification(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon);
  // Open PopupMenu at the cursor (when there is one and it opens by itself).
  void PopupAtCursor();
  // The minimise-into-the-tray action: conceal, then IconVisible := true.
  virtual void MinimizeNow();

  // One mouse message from the notification area; does nothing while Enabled
  // is off.
  void HandleTrayMessage(TTrayMessage message);
  // The cycle timer's tick.
  void CycleTick();
  // The notification area has (re)started: the icon comes back while
  // IconVisible is on.
  void ShellRestarted();
  // The step that follows setting the properties from a stored layout:
  // StartMinimized hides the owner at start.
  void Loaded();

  // Whether a notification area exists. Defaults to Qt's answer; tests
  // replace it.
  std::function<bool()> TrayAvailable;
  // Whether the notification area is a StatusNotifierItem host
  // (tray_host.h). It reports single activations only: there a click on the
  // icon does what the double click does elsewhere, or the icon could never
  // bring the window back. And it shows an item's menu itself (a right click
  // on an item without one opens the host's own menu): PopupMenu is handed to
  // it while Enabled. Asked once, when first needed; tests install their own.
  void SetActivationOnlyHost(std::function<bool()> host);
  bool ActivationOnlyHost();

  // What the notification area currently holds, for inspection.
  const QSystemTrayIcon& TrayIcon() const { return *FTray; }
  QWidget* Owner() const { return FOwner; }
  const QTimer& CycleTimer() const { return FCycleTimer; }

 protected:
  // Event dispatchers, one per event.
  virtual void Click();
  virtual void DblClick();
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void Cycle(int nextIndex);

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void TrayActivated(QSystemTrayIcon::ActivationReason reason);
  void FillTrayRecord();
  void CopyListImage(int index);
  void RunDefaultMenuItem();
  TShiftState CurrentShift(TShiftState button) const;
  bool HasTray() const;

  QPointer<QWidget> FOwner;
  QSystemTrayIcon* FTray = nullptr;
  QTimer FCycleTimer;

  bool FDesignPreview = false;
  TImageList* FIconList = nullptr;
  QMetaObject::Connection FIconListGone;
  bool FCycleIcons = false;
  std::uint32_t FCycleInterval = 0;
  bool FEnabled = true;
  QString FHint;
  bool FShowHint = false;
  QIcon FIcon;
  bool FIconVisible = true;
  int FIconIndex = 0;
  TPopupMenu* FPopupMenu = nullptr;
  QMetaObject::Connection FPopupMenuGone;
  bool FLeftPopup = false;
  bool FStartMinimized = false;
  bool FMinimizeToTray = false;

  bool FClickPending = false;
  bool FPreviewing = false;
  bool FMinimizeQueued = false;
  // Hands PopupMenu to a StatusNotifierItem host (or takes it back).
  void ExportMenu();

  std::function<bool()> FActivationOnlyHost;
  // Its answer: 0 not asked yet, 1 no, 2 yes.
  int FActivationOnly = 0;
};
