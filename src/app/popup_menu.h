#pragma once
// A popup menu that knows whether it may open by itself (AutoPopup) and which
// component opened it last, as the tray icon expects of its menu.

#include <QMenu>
#include <QObject>
#include <QPointer>

class TPopupMenu : public QMenu {
 public:
  explicit TPopupMenu(QWidget* parent = nullptr) : QMenu(parent) {}

  bool AutoPopup = true;
  QPointer<QObject> PopupComponent;
};
