#pragma once
// Which kind of notification area shows the program's icon.
//
// Qt shows a tray icon through a StatusNotifierItem host (KDE Plasma, GNOME
// with the AppIndicator extension, Xfce's panel) when one is registered on
// the session bus at the time the first icon is made, and otherwise docks it
// into an XEmbed tray (icewm, older panels). A StatusNotifierItem host reports
// a click as one activation and never a double click.

// True when a StatusNotifierWatcher on the session bus says a host is
// registered: the test Qt itself makes before choosing that protocol.
bool StatusNotifierHostRegistered();
