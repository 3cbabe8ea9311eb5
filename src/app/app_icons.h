#pragma once
// The program's pictures, drawn in code so the program needs no image files:
// the five 32 x 32 tab pictures of the main window, the three 16 x 16
// notification-area pictures and the application icon.

#include <QIcon>
#include <QPixmap>

enum class TTabPicture { Database = 0, Restore = 1, Login = 2, About = 3, History = 4 };

// Tab picture `index` (0 database, 1 restore, 2 login, 3 about, 4 history),
// 32 x 32.
QIcon TabPicture(int index);
// Notification-area picture `index`: 0 plan stopped, 1 plan running, 2 the
// last plan backup needs attention (it failed, or warned).
QIcon TrayPicture(int index);
// The application's own icon (window and task bar), several sizes.
QIcon ApplicationIcon();
// The application's icon drawn at `size` x `size` (also the installed icon
// files, made from it at build time).
QPixmap ApplicationPixmap(int size);
