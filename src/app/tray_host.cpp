#include "app/tray_host.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>

namespace {

const char* const WatcherService = "org.kde.StatusNotifierWatcher";
const char* const WatcherPath = "/StatusNotifierWatcher";

}  // namespace

bool StatusNotifierHostRegistered() {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(WatcherService)) return false;
  QDBusInterface watcher(WatcherService, WatcherPath, WatcherService, bus);
  return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
}
