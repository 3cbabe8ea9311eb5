// Benchmarks of the application shell. One program, several measurements:
//
//   app_bench start            time from the launch (QUORVIN_BENCH_T0, ns of
//                              CLOCK_REALTIME, set by the caller just before
//                              the launch) to the main window shown, along
//                              the program's own start-up path
//   app_bench idle             resident memory once the window sits in the
//                              notification area with the plan running
//   app_bench pane [--lines N] cost per line of a job's output on its own
//                              thread until it is in the window's log pane,
//                              and the longest gap in the window's event
//                              handling meanwhile
//   app_bench stall [--size-mb N] [--rounds R]
//                              the longest time the user-interface thread
//                              handles no events during a backup and a
//                              restore (embedded engine) started with the
//                              window's buttons
//   app_bench notice [--size-mb N] [--rounds R]
//                              the same backup alternately without and with
//                              a notice open from early in the job to its
//                              end: longest stall and wall time of each
//   app_bench jobs [--jobs N] [--size-mb N]
//                              resident memory after N backups and restores
//                              from the window (the history page looked at
//                              after each), with what could grow: the pane's
//                              blocks, the history's rows, the chart's points,
//                              and what the allocator hands back
//
// Figures go to standard output, one "key: value" per line.

#include <malloc.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/cool_tray_icon.h"
#include "app/history_model.h"
#include "app/history_page.h"
#include "app/log_pane_widget.h"
#include "app/main_form.h"
#include "app/qt_seams.h"
#include "app/single_instance.h"
#include "bench_tools.h"
#include "controller/quorvin.h"
#include "dialogs/plan_form.h"
#include "integration/fb_fixture.h"
#include "jobs/worker/front_end_channel.h"
#include "runner/job_output.h"

namespace {

long long RealtimeNs() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kb = 0;
      status >> kb;
      return kb;
    }
    status.ignore(1 << 16, '\n');
  }
  return -1;
}

int Arg(int argc, char** argv, const std::string& name, int fallback) {
  for (int i = 2; i + 1 < argc; ++i) {
    if (argv[i] == name) return std::atoi(argv[i + 1]);
  }
  return fallback;
}

// Answers every modal message box of the window as soon as it shows, with
// its default button (OK, Yes): nobody sits at the benchmark to click.
// Notices that stay open beside a job are left alone.
class TBoxAnswerer : public QObject {
 public:
  TBoxAnswerer() { qApp->installEventFilter(this); }
  ~TBoxAnswerer() override { qApp->removeEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* box = qobject_cast<QMessageBox*>(watched);
    if (box && event->type() == QEvent::Show && box->isModal()) {
      QTimer::singleShot(0, box, [box] {
        if (box->defaultButton()) box->defaultButton()->click();
      });
    }
    return false;
  }
};

// The largest interval between two ticks of a fast timer: how long the
// user-interface thread went without handling events.
class TStallMeter {
 public:
  TStallMeter() {
    FTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      const qint64 now = FClock.nsecsElapsed();
      if (FLast >= 0) FLongest = std::max(FLongest, now - FLast);
      FLast = now;
    });
  }
  void Start() {
    FLongest = 0;
    FLast = -1;
    FClock.start();
    FTimer.start(1);
  }
  double StopMs() {
    FTimer.stop();
    return FLongest / 1e6;
  }

 private:
  QTimer FTimer;
  QElapsedTimer FClock;
  qint64 FLast = -1;
  qint64 FLongest = 0;
};

int Start() {
  const char* t0Text = std::getenv("QUORVIN_BENCH_T0");
  const long long t0 = t0Text ? std::atoll(t0Text) : RealtimeNs();
  int argc = 1;
  char name[] = "quorvin";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QApplication::setApplicationName(ApplicationTitle);
  QApplication::setQuitOnLastWindowClosed(false);
  TSingleInstance instance("QuorvinBenchStart");
  if (!instance.Acquire()) return 2;
  InstallQtSeams();
  QTemporaryDir folder;
  long long shown = 0;
  {
    TMainForm form((folder.path() + "/").toStdString());
    instance.Listen(&form, [] {});
    form.show();
    // Shown: the window's first frame has been drawn.
    QTimer::singleShot(0, [&] { form.windowHandle()->requestUpdate(); });
    QElapsedTimer wait;
    wait.start();
    while (!form.windowHandle()->isExposed() && wait.elapsed() < 5000) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    QCoreApplication::processEvents();
    shown = RealtimeNs();
    form.close();
  }
  UninstallQtSeams();
  std::printf("start_ms: %.1f\n", (shown - t0) / 1e6);
  return 0;
}

int Idle() {
  int argc = 1;
  char name[] = "quorvin";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QApplication::setApplicationName(ApplicationTitle);
  QApplication::setQuitOnLastWindowClosed(false);
  InstallQtSeams();
  TBoxAnswerer boxes;
  QTemporaryDir folder;
  long rss = 0;
  bool tray = false;
  {
    TMainForm form((folder.path() + "/").toStdString());
    form.show();
    for (int i = 0; i < 50; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    // "Расписание", then "Запустить" as soon as the dialog is up.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (auto* dialog = dynamic_cast<TPlanForm*>(QApplication::activeModalWidget())) {
        poll.stop();
        dialog->bbStartClick();
      }
    });
    poll.start(10);
    form.BitBtn3Click();
    tray = form.TrayIcon()->TrayIcon().isVisible();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    rss = ResidentKb();
    form.Restore1Click();
    form.close();
  }
  UninstallQtSeams();
  std::printf("idle_in_tray_mb: %.1f\n", rss / 1024.0);
  std::printf("icon_in_notification_area: %d\n", tray ? 1 : 0);
  return 0;
}

int Pane(int lines) {
  int argc = 1;
  char name[] = "quorvin";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  InstallQtSeams();
  TLogPane pane;
  pane.resize(596, 200);
  pane.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  pane.show();
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  // The window's own channel: the job writes on its thread, the lines reach
  // the pane on this one.
  TFrontEndChannel channel([](std::function<void()> work) { QMetaObject::invokeMethod(qApp, std::move(work)); }, &pane,
                           nullptr, nullptr);
  TStallMeter meter;
  meter.Start();
  bool arrived = false;
  const auto start = Clock::now();
  std::thread job([&] {
    TJobOutput output(channel.Pane());
    for (int i = 1; i <= lines; ++i)
      output.AddPaneLine("gbak:    writing data for table T_ORDERS " + std::to_string(i));
    channel.Send([&] { arrived = true; });
  });
  while (!arrived) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  const double total = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / lines;
  const double stall = meter.StopMs();
  job.join();
  std::printf("pane_lines: %d\n", pane.LineCount());
  std::printf("pane_us_per_line_mean: %.2f\n", total);
  std::printf("pane_longest_event_gap_ms: %.1f\n", stall);
  UninstallQtSeams();
  return 0;
}

// A generated database of at least `sizeMb` megabytes.
void MakeDatabase(const std::string& db, int sizeMb) {
  int scale = std::max(1, static_cast<int>(sizeMb * 1.1));
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::filesystem::remove(db);
    const auto t0 = Clock::now();
    fbtest::CreateDatabase(db, scale);
    const double mb = std::filesystem::file_size(db) / 1048576.0;
    std::printf("database_mb: %.0f (made in %.0f s)\n", mb, std::chrono::duration<double>(Clock::now() - t0).count());
    std::fflush(stdout);
    if (mb >= sizeMb) break;
    scale = static_cast<int>(scale * sizeMb / std::max(mb, 1.0) * 1.05) + 1;
  }
}

// The window's jobs on a generated database of `sizeMb`: the application,
// boxes answered and a settings file with the login; everything installed is
// put back when it goes.
class TWindowJobBench {
 public:
  explicit TWindowJobBench(int sizeMb) {
    QApplication::setApplicationName(ApplicationTitle);
    MakeDatabase(Db, sizeMb);
    InstallQtSeams();
    std::ofstream ini((FSettings.path() + "/Quorvin.INI").toStdString());
    ini << "[Main]\nUser=SYSDBA\nPass=masterkey\n[Parameters]\nProtocol=3\nBackShutDown=0\nAutoBackName=0\n";
  }
  ~TWindowJobBench() { UninstallQtSeams(); }
  std::string SettingsDir() const { return (FSettings.path() + "/").toStdString(); }

 private:
  int FArgc = 1;
  char FName[8] = "quorvin";
  char* FArgv[2] = {FName, nullptr};
  QApplication FApp{FArgc, FArgv};

 public:
  fbtest::TempFolder Data{"quorvin-app-bench"};
  const std::string Db = Data.File("bench.fdb");

 private:
  TBoxAnswerer FBoxes;
  QTemporaryDir FSettings;
};

// Clicks a job's button and runs the window's event loop until the job has
// ended, as a user waits.
void RunWindowJob(TMainForm& form, void (TMainForm::*click)()) {
  (form.*click)();
  while (form.JobInProgress()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

int Stall(int sizeMb, int rounds) {
  TWindowJobBench bench(sizeMb);
  const std::string& db = bench.Db;
  std::vector<double> backupStalls, restoreStalls;
  {
    TMainForm form(bench.SettingsDir());
    form.show();
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    TStallMeter meter;
    for (int round = 0; round < rounds; ++round) {
      form.cbBD_Name->setEditText(QString::fromStdString(db));
      meter.Start();
      auto t0 = Clock::now();
      RunWindowJob(form, &TMainForm::BitBtn1Click);
      backupStalls.push_back(meter.StopMs());
      const double backupS = std::chrono::duration<double>(Clock::now() - t0).count();
      const std::string target = bench.Data.File("restored.fdb");
      std::filesystem::remove(target);
      form.eNameBD->setText(QString::fromStdString(target));
      meter.Start();
      t0 = Clock::now();
      RunWindowJob(form, &TMainForm::bbRestoreClick);
      restoreStalls.push_back(meter.StopMs());
      const double restoreS = std::chrono::duration<double>(Clock::now() - t0).count();
      const bool ok = std::filesystem::exists(target) && std::filesystem::exists(form.RestoreSource());
      std::printf("round %d: backup %.1f s, longest stall %.1f ms; restore %.1f s, longest stall %.1f ms; %s\n",
                  round + 1, backupS, backupStalls.back(), restoreS, restoreStalls.back(), ok ? "ok" : "FAILED");
      std::fflush(stdout);
      if (!ok) return 1;
    }
    form.close();
  }
  std::printf("backup_longest_stall_ms: %.1f (median of %d)\n", Median(backupStalls), rounds);
  std::printf("restore_longest_stall_ms: %.1f (median of %d)\n", Median(restoreStalls), rounds);
  std::printf("backup_longest_stall_max_ms: %.1f\n", *std::max_element(backupStalls.begin(), backupStalls.end()));
  std::printf("restore_longest_stall_max_ms: %.1f\n", *std::max_element(restoreStalls.begin(), restoreStalls.end()));
  return 0;
}

// Backups of the same database from the window, alternately without and
// with a notice opened early in the job and left open to its end (as a close
// refused during a job opens one): the longest stall and the wall time of
// each.
int Notice(int sizeMb, int rounds) {
  TWindowJobBench bench(sizeMb);
  const std::string& db = bench.Db;
  std::vector<double> plainS, noticeS, plainStall, noticeStall;
  {
    TMainForm form(bench.SettingsDir());
    form.show();
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    TStallMeter meter;
    bool withNotice = false;
    bool opened = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (!withNotice || opened || !form.Controller()->JobRunning() || form.Log->LineCount() < 10) return;
      opened = true;
      form.MessageBoxes().ShowMessage("Идёт резервное копирование или восстановление.\nДождитесь его окончания.");
    });
    poll.start(5);
    for (int round = 0; round < 2 * rounds; ++round) {
      withNotice = round % 2 == 1;
      opened = false;
      form.cbBD_Name->setEditText(QString::fromStdString(db));
      meter.Start();
      const auto t0 = Clock::now();
      RunWindowJob(form, &TMainForm::BitBtn1Click);
      const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
      const double stall = meter.StopMs();
      const int open = static_cast<int>(form.MessageBoxes().OpenNotices().size());
      for (QMessageBox* box : form.MessageBoxes().OpenNotices()) box->accept();
      (withNotice ? noticeS : plainS).push_back(seconds);
      (withNotice ? noticeStall : plainStall).push_back(stall);
      std::printf("round %d %s: backup %.2f s, longest stall %.1f ms, notices open at the end %d\n", round / 2 + 1,
                  withNotice ? "with notice" : "plain", seconds, stall, open);
      std::fflush(stdout);
      if (withNotice && open != 1) return 1;
    }
    form.close();
  }
  std::printf("notice_backup_longest_stall_ms: %.1f (median of %d; without the notice %.1f)\n", Median(noticeStall),
              rounds, Median(plainStall));
  std::printf("notice_backup_wall_s: %.2f (without the notice %.2f, ratio %.3f)\n", Median(noticeS), Median(plainS),
              Median(noticeS) / Median(plainS));
  return 0;
}

// Jobs from the window, one after the other, the history page shown after
// each as a user would look: resident memory at the start, every five jobs
// and at the end, with the sizes of what keeps data between jobs.
int Jobs(int jobs, int sizeMb) {
  TWindowJobBench bench(sizeMb);
  const std::string& db = bench.Db;
  TMainForm form(bench.SettingsDir());
  form.show();
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  const long startKb = ResidentKb();
  std::printf("jobs_rss_at_start_mb: %.1f\n", startKb / 1024.0);
  const auto report = [&](int done) {
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    std::printf("after %d jobs: rss %.1f MB; pane blocks %d, history rows %d, chart points %lld\n", done,
                ResidentKb() / 1024.0, form.Log->document()->blockCount(), form.TabSheet8->Model->rowCount(),
                static_cast<long long>(form.TabSheet8->ChartPoints()));
    std::fflush(stdout);
  };
  for (int job = 1; job <= jobs; ++job) {
    form.PageControl->setCurrentIndex(job % 2 == 1 ? 0 : 1);
    if (job % 2 == 1) {
      form.cbBD_Name->setEditText(QString::fromStdString(db));
      RunWindowJob(form, &TMainForm::BitBtn1Click);
    } else {
      const std::string target = bench.Data.File("restored.fdb");
      std::filesystem::remove(target);
      form.eNameBD->setText(QString::fromStdString(target));
      RunWindowJob(form, &TMainForm::bbRestoreClick);
    }
    form.PageControl->setCurrentIndex(TMainForm::HistoryTab);
    if (job % 5 == 0) report(job);
  }
  form.PageControl->setCurrentIndex(0);
  const long endKb = ResidentKb();
  malloc_trim(0);
  const long trimmedKb = ResidentKb();
  std::printf("jobs_rss_after_%d_jobs_mb: %.1f (grew %.1f MB; %.1f MB once the allocator returned its free memory)\n",
              jobs, endKb / 1024.0, (endKb - startKb) / 1024.0, trimmedKb / 1024.0);
  form.close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "start") return Start();
  if (mode == "idle") return Idle();
  if (mode == "pane") return Pane(Arg(argc, argv, "--lines", 1000000));
  if (mode == "stall") return Stall(Arg(argc, argv, "--size-mb", 200), Arg(argc, argv, "--rounds", 3));
  if (mode == "notice") return Notice(Arg(argc, argv, "--size-mb", 200), Arg(argc, argv, "--rounds", 3));
  if (mode == "jobs") return Jobs(Arg(argc, argv, "--jobs", 20), Arg(argc, argv, "--size-mb", 20));
  std::fprintf(stderr,
               "usage: app_bench start|idle|pane [--lines N]|stall [--size-mb N] [--rounds R]|"
               "notice [--size-mb N] [--rounds R]\n");
  return 2;
}
