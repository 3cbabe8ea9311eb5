// Writes the application icon as PNG files of the given sizes, for the icon
// theme of an installation: icon_files <folder> <size>...
// (<folder>/<size>.png; run with QT_QPA_PLATFORM=offscreen.)
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>
#include <string>

#include "app/app_icons.h"

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  if (argc < 3) {
    std::fputs("usage: icon_files <folder> <size>...\n", stderr);
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    const int size = std::stoi(argv[i]);
    const QString file = QString("%1/%2.png").arg(QString::fromLocal8Bit(argv[1])).arg(size);
    if (!ApplicationPixmap(size).save(file, "PNG")) {
      std::fprintf(stderr, "icon_files: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
