// Entry point: the application title, the one-copy-per-session guard, the
// main window and the message loop.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

#include "app/main_form.h"
#include "app/qt_seams.h"
#include "app/qt_translations.h"
#include "app/session_end.h"
#include "app/single_instance.h"
#include "controller/quorvin.h"
#include "platform/exception.h"
#include "platform/process_signals.h"

namespace {

constexpr const char* UsageText =
    "Usage: quorvin [Qt options]\n"
    "Quorvin: backups and restores of Firebird databases, and a weekly backup\n"
    "plan in the notification area. The window needs a display.\n"
    "\n"
    "  -h, --help     this text\n"
    "  --version      the version\n"
    "\n"
    "Without a desktop (a server, SSH) use quorvinctl: the same plan as a\n"
    "service and single jobs on the command line (quorvinctl --help).\n";

// What a shell asks of the program before any display is needed: answered
// here, since Qt's platform plugin aborts without one. nullopt: go on.
std::optional<int> AnswerOnTheShell(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--help" || word == "-h") {
      std::fputs(UsageText, stdout);
      return 0;
    }
    if (word == "--version") {
      std::printf("quorvin %s\n", QUORVIN_VERSION);
      return 0;
    }
  }
  // Qt's own way of choosing the platform (offscreen, a display given in the
  // arguments) is left to Qt.
  const auto set = [](const char* name) { return std::getenv(name) != nullptr && *std::getenv(name) != '\0'; };
  bool platformArgument = false;
  for (int i = 1; i < argc; ++i)
    platformArgument = platformArgument || std::string(argv[i]) == "-platform" || std::string(argv[i]) == "-display";
  if (set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM") || platformArgument) return std::nullopt;
  std::fputs(
      "quorvin: the window needs a display (DISPLAY and WAYLAND_DISPLAY are not set); without one use quorvinctl "
      "(quorvinctl --help)\n",
      stderr);
  return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (const std::optional<int> answered = AnswerOnTheShell(argc, argv)) return *answered;
  // Before anything loads the client library: the embedded gbak would
  // otherwise wait on a terminal for the next volume of a cut-short backup.
  DetachStandardInput();
  QApplication app(argc, argv);
  InstallQtTranslations(app);
  // The title comes first: the controller names its settings file after it.
  // (The display name follows the application name; setting it as well
  // would make the desktop append " — Quorvin" to every dialog caption.)
  QApplication::setApplicationName(ApplicationTitle);
  // The installed desktop entry: the desktop shows its icon for the window.
  QGuiApplication::setDesktopFileName("org.example.quorvin");
  // The window hides into the notification area and message boxes may be
  // the only windows shown meanwhile: only closing the main window ends the
  // program.
  QApplication::setQuitOnLastWindowClosed(false);

  TSingleInstance instance;
  if (!instance.Acquire()) {
    // Another copy runs: it is asked to show itself; this one ends quietly.
    instance.AskRunningCopyToShow(TMainForm::staticMetaObject.className(), ApplicationTitle);
    return 0;
  }
  // From here on a termination signal waits in a pipe until the window can
  // close as usual (the settings file is written); it is not lost meanwhile.
  TTerminationSignals::Install();

  InstallQtSeams();
  int status = 0;
  try {
    TMainForm form;
    QObject::connect(&form, &TMainForm::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    instance.Listen(&form, [&form] { form.ShowAtRequest(); });
    TSessionEndWatcher sessionEnd([&form] { form.RequestSessionClose(); });
    if (!form.ResumePlanAtStart()) form.show();
    status = app.exec();
  } catch (const std::exception& e) {
    // Nobody watches the signals any more: a termination ends the program
    // even while the message is up.
    TTerminationSignals::Uninstall();
    QMessageBox::critical(nullptr, ApplicationTitle, QString::fromStdString(MessageOf(e)));
    status = 1;
  }
  UninstallQtSeams();
  // The lock is given up after the message loop, so a new start succeeds at
  // once.
  instance.Release();
  return status;
}
