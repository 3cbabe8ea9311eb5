// Entry point. Until the main window exists this shows a placeholder that
// says so; the set-up around it is already the real one.
#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Quorvin");
  QApplication::setApplicationDisplayName("Quorvin");
  QLabel placeholder("Quorvin: the main window is not built yet.");
  placeholder.setWindowTitle("Quorvin");
  placeholder.setMinimumSize(400, 100);
  placeholder.show();
  return app.exec();
}
