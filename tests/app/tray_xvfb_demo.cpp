// A small program for the notification-area test under a real X server: a
// stand-in main window with the tray icon set up as the program sets it up,
// both settings dialogs on request, and a report of everything that happens.
//
// Commands arrive one per line on standard input; every report is one line
// "key=value" on standard output. The driving script (tray_xvfb_test.sh)
// clicks with xdotool and waits for the reports.

#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyle>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QToolTip>
#include <cstdio>
#include <memory>

#include "app/cool_tray_icon.h"
#include "controller/quorvin.h"
#include "dialogs/params_form.h"
#include "dialogs/plan_form.h"

namespace {

void Report(const QString& line) {
  std::fputs(qPrintable(line + "\n"), stdout);
  std::fflush(stdout);
}

QString Rect(const QRect& r) { return QString("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()); }

// Picture n of the notification-area list: a coloured disc with its number.
QIcon Picture(const QColor& colour, int number) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(colour);
  p.setPen(Qt::black);
  p.drawEllipse(1, 1, 14, 14);
  p.setPen(Qt::white);
  QFont font = p.font();
  font.setPixelSize(10);
  font.setBold(true);
  p.setFont(font);
  p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString::number(number));
  return QIcon(pixmap);
}

class TDemo : public QObject {
 public:
  TDemo() {
    Window.setWindowTitle("Quorvin");
    Window.setCentralWidget(new QLabel("  Quorvin: stand-in main window  "));
    Window.resize(420, 180);

    Icons.Add(Picture(QColor(0, 140, 0), 0));
    Icons.Add(Picture(QColor(200, 0, 0), 1));
    Icons.Add(Picture(QColor(0, 0, 200), 2));

    Restore1 = Menu.addAction(QString::fromUtf8("Восстановить"));
    Menu.addSeparator();
    Exit1 = Menu.addAction(QString::fromUtf8("Закрыть"));
    connect(Restore1, &QAction::triggered, this, [this] { Restore1Click(); });
    connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
    connect(&Menu, &QMenu::aboutToShow, this, [this] {
      QTimer::singleShot(200, this, [this] {
        Report("menu=open " + Rect(Menu.geometry()));
        Report("restore-item=" + Rect(Menu.actionGeometry(Restore1).translated(Menu.pos())));
        Report("exit-item=" + Rect(Menu.actionGeometry(Exit1).translated(Menu.pos())));
      });
    });
    connect(&Menu, &QMenu::aboutToHide, this, [] { Report("menu=closed"); });

    // As the main window sets its icon up at creation.
    Tray = new TCoolTrayIcon(&Window);
    Tray->SetIcon(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon));
    Tray->SetHint("Quorvin");
    Tray->SetIconList(&Icons);
    Tray->SetPopupMenu(&Menu);
    Tray->SetShowHint(true);
    Tray->OnDblClick = [this](QObject*) {
      Report("event=dblclick");
      Restore1Click();
    };
    Tray->OnClick = [](QObject*) { Report("event=click"); };
    Tray->OnMouseDown = [](QObject*, TMouseButton b, TShiftState, int x, int y) {
      Report(QString("event=down %1 at %2,%3").arg(int(b)).arg(x).arg(y));
    };

    Window.installEventFilter(this);

    Input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(Input, &QSocketNotifier::activated, this, [this] { ReadCommand(); });

    // The tool tip, once the pointer rests on the icon.
    connect(&Poll, &QTimer::timeout, this, [this] {
      const QString tip = QToolTip::isVisible() ? QToolTip::text() : QString();
      if (tip != LastTip) {
        LastTip = tip;
        Report("tooltip=" + tip);
      }
    });
    Poll.start(100);
  }

  void Start() {
    Window.show();
    Report(QString("tray-available=%1").arg(QSystemTrayIcon::isSystemTrayAvailable() ? 1 : 0));
    Report("window=shown");
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &Window) {
      if (event->type() == QEvent::Hide) Report("window-event=hide");
      if (event->type() == QEvent::WindowStateChange && Window.isMinimized()) Report("window-event=minimized");
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  // The plan started: hide into the notification area with picture 1.
  void PlanStarted() {
    Tray->ConcealMainWindow();
    Tray->SetIconVisible(true);
    Tray->SetEnabled(true);
    Tray->SetIconIndex(1);
    Tray->SetMinimizeToTray(true);
    WaitForIcon();
  }

  // The icon's place is known once the tray has embedded it: away from the
  // screen's origin, where it starts, and the same for a few polls running.
  void WaitForIcon(int triesLeft = 100, QRect previous = QRect(), int steady = 0) {
    const QRect where = Tray->TrayIcon().geometry();
    const bool placed = where.width() > 0 && where.height() > 0 && where.topLeft() != QPoint(0, 0);
    steady = placed && where == previous ? steady + 1 : 0;
    if (steady >= 3) {
      Report(QString("window=%1").arg(Window.isVisible() ? "shown" : "hidden"));
      Report("icon=" + Rect(where));
      Report(QString("icon-index=%1").arg(Tray->IconIndex()));
      return;
    }
    if (triesLeft == 0) {
      Report("icon=none");
      return;
    }
    QTimer::singleShot(100, this, [this, triesLeft, where, steady] { WaitForIcon(triesLeft - 1, where, steady); });
  }

  void Restore1Click() {
    Tray->SetIconIndex(0);
    Tray->SetIconVisible(false);
    Tray->SetMinimizeToTray(false);
    Tray->RevealMainWindow();
    QTimer::singleShot(300, this, [this] {
      Report(QString("window=%1").arg(Window.isVisible() && !Window.isMinimized() ? "shown" : "hidden"));
      Report(QString("icon-visible=%1").arg(Tray->TrayIcon().isVisible() ? 1 : 0));
    });
  }

  void Exit1Click() {
    Tray->SetIconIndex(0);
    Tray->SetEnabled(false);
    Report("exit=1");
    Window.close();
    QApplication::quit();
  }

  void ShowDialogs(int page) {
    CloseDialogs();
    if (!Controller) {
      Settings = std::make_unique<QTemporaryDir>();
      Controller = std::make_unique<TQuorvin>(TFrontEnd{}, Settings->path().toStdString() + "/", "Quorvin");
      // A plan worth looking at.
      TPlanRecord& plan = Controller->Settings().PlanRecord;
      plan.Day1Back = plan.Day3Back = plan.Day5Back = plan.Day6Back = true;
      plan.DayBeginBack = EncodeTime(8, 0, 0, 0);
      plan.NightBeginBack = EncodeTime(20, 0, 0, 0);
      plan.DayPeriodBack = 1;
      plan.NightPeriodBack = 7;
      plan.NightClockBack = EncodeTime(23, 30, 0, 0);
      Controller->Settings().Protocol = 0;
    }
    TQuorvin& q = *Controller;
    Params = std::make_unique<TParamsForm>(nullptr, q.Settings());
    Params->LoadParams(page);
    Params->show();
    Plan = std::make_unique<TPlanForm>(nullptr, q.Settings(), &q.Plan(), [&q](bool) { q.SavePlan(); });
    Plan->show();
    // Side by side, so one screenshot holds both.
    const QRect screen = QApplication::primaryScreen()->geometry();
    Params->move(20, 60);
    Plan->move(std::min(Params->frameGeometry().right() + 20, screen.width() - Plan->width()), 60);
    QTimer::singleShot(500, this, [this] {
      Report("params=" + Rect(Params->frameGeometry()));
      Report("plan=" + Rect(Plan->frameGeometry()));
      Report("dialogs=shown");
    });
  }

  void CloseDialogs() {
    Params.reset();
    Plan.reset();
  }

  void ReadCommand() {
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {  // the script is gone
      Input->setEnabled(false);
      QApplication::quit();
      return;
    }
    Pending += QString::fromUtf8(buffer, static_cast<int>(n));
    qsizetype end;
    while ((end = Pending.indexOf('\n')) >= 0) {
      const QString command = Pending.left(end).trimmed();
      Pending.remove(0, end + 1);
      Run(command);
    }
  }

  void Run(const QString& command) {
    if (command == "start-plan")
      PlanStarted();
    else if (command == "reveal-only") {
      // Back on screen while the icon keeps MinimizeToTray on.
      Tray->RevealMainWindow();
      QTimer::singleShot(300, this,
                         [this] { Report(QString("window=%1").arg(Window.isVisible() ? "shown" : "hidden")); });
    } else if (command == "dialogs-backup")
      ShowDialogs(0);
    else if (command == "dialogs-restore")
      ShowDialogs(1);
    else if (command == "close-dialogs")
      CloseDialogs();
    else if (command == "quit")
      Exit1Click();
    else
      Report("unknown=" + command);
  }

  QMainWindow Window;
  TImageList Icons;
  TPopupMenu Menu;
  QAction* Restore1 = nullptr;
  QAction* Exit1 = nullptr;
  TCoolTrayIcon* Tray = nullptr;
  QSocketNotifier* Input = nullptr;
  QString Pending;
  QTimer Poll;
  QString LastTip;
  std::unique_ptr<QTemporaryDir> Settings;
  std::unique_ptr<TQuorvin> Controller;
  std::unique_ptr<TParamsForm> Params;
  std::unique_ptr<TPlanForm> Plan;
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Quorvin");
  QApplication::setQuitOnLastWindowClosed(false);
  TDemo demo;
  demo.Start();
  return app.exec();
}
