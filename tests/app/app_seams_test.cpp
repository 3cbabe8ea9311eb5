// The Qt side of the core's seams and the start-up guard, headless: a job's
// channel hands what it shows over to the event loop in order and in short
// slices, the plan timer ticks on the event loop, the jobs' thread leaves
// the termination signals to others, and the single-instance lock and
// socket find, check and wake the first copy.

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <csignal>
#include <future>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include "app/qt_plan_timer.h"
#include "app/qt_seams.h"
#include "app/session_end.h"
#include "app/single_instance.h"
#include "controller/jobs/job_queue.h"
#include "jobs/worker/front_end_channel.h"
#include "platform/exception.h"
#include "platform/process_signals.h"
#include "service/library_call.h"

class TAppSeamsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // Lock and socket in a runtime folder of this test alone.
    QVERIFY(FRuntime.isValid());
    QFile::setPermissions(FRuntime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", FRuntime.path().toUtf8());
  }

  void channelHandsOverInOrderInShortSlices();
  void planTimerTicksOnEventLoop();
  void timerFactoryIsTheEventLoops();
  void lockIsExclusiveAndReleased();
  void laterStartChecksBothKeys_data();
  void laterStartChecksBothKeys();
  void laterStartWithoutRunningCopyEndsQuickly();
  void standardInputDetached_data();
  void standardInputDetached();
  void terminationSignalReachesEventLoop_data();
  void terminationSignalReachesEventLoop();
  void ignoredHangUpStaysIgnored();
  void workerThreadLeavesSignalsToOthers();
  void blockingCallTakesSignalsBack();

 private:
  QTemporaryDir FRuntime;
};

namespace {

// A pane and boxes that note what reaches them, and on which thread.
class TNotingSeams : public TLogPaneView, public TPrompts {
 public:
  void Clear() override { Note("clear"); }
  void AppendLine(const std::string& line) override { Note("line " + line); }
  void ShowMessage(const std::string& text) override { Note("box " + text); }
  bool AskYesNo(const std::string& text) override {
    Note("ask " + text);
    return false;
  }
  bool ConfirmOkCancel(const std::string&) override { return true; }
  void Beep() override { Note("beep"); }
  std::vector<std::string> Seen;
  bool AllOnThisThread = true;
  // Other events of the loop handled while the lines were half delivered:
  // each delivery posts one, which runs only once the loop is free again.
  int TurnsMidway = 0;

 private:
  void Note(const std::string& what) {
    AllOnThisThread = AllOnThisThread && QThread::currentThread() == qApp->thread();
    Seen.push_back(what);
    if (FProbePosted) return;
    FProbePosted = true;
    QMetaObject::invokeMethod(
        qApp,
        [this] {
          FProbePosted = false;
          if (Seen.size() > 1 && Seen.back().rfind("line ", 0) == 0) ++TurnsMidway;
        },
        Qt::QueuedConnection);
  }
  bool FProbePosted = false;
};

}  // namespace

// A job on its own thread writes a flood of lines, a box and a question: all
// reach the window's seams on its thread, in the job's order, the question's
// answer goes back to the job, and the event loop turns between slices.
void TAppSeamsTest::channelHandsOverInOrderInShortSlices() {
  TNotingSeams seams;
  // Posted as the window posts: queued even from the window's own thread.
  TFrontEndChannel channel(
      [](std::function<void()> work) { QMetaObject::invokeMethod(qApp, std::move(work), Qt::QueuedConnection); },
      &seams, &seams, nullptr);
  constexpr int Lines = 200000;
  std::atomic<bool> answered{true};
  std::thread job([&] {
    channel.Pane()->Clear();
    for (int i = 0; i < Lines; ++i) channel.Pane()->AppendLine(std::to_string(i));
    channel.Prompts()->ShowMessage("done");
    answered = channel.Prompts()->AskYesNo("again?");
    channel.Prompts()->Beep();
  });
  QTRY_VERIFY_WITH_TIMEOUT(seams.Seen.size() == Lines + 4u, 60000);
  job.join();
  QCoreApplication::sendPostedEvents();
  QVERIFY(seams.AllOnThisThread);
  QCOMPARE(seams.Seen.front(), std::string("clear"));
  QCOMPARE(seams.Seen[1], std::string("line 0"));
  QCOMPARE(seams.Seen[Lines], "line " + std::to_string(Lines - 1));
  QCOMPARE(seams.Seen[Lines + 1], std::string("box done"));
  QCOMPARE(seams.Seen[Lines + 2], std::string("ask again?"));
  QCOMPARE(seams.Seen.back(), std::string("beep"));
  QVERIFY(!answered);
  QVERIFY2(seams.TurnsMidway > 0, "the lines came in one hold of the loop");
}

void TAppSeamsTest::planTimerTicksOnEventLoop() {
  TQtPlanTimer timer;
  int ticks = 0;
  timer.SetOnTimer([&] { ++ticks; });
  timer.SetInterval(20);
  QTest::qWait(80);
  QCOMPARE(ticks, 0);
  timer.SetEnabled(true);
  QTRY_VERIFY(ticks >= 2);
  timer.SetEnabled(false);
  const int stopped = ticks;
  QTest::qWait(80);
  QCOMPARE(ticks, stopped);
  QCOMPARE(timer.Interval(), 20);
}

void TAppSeamsTest::timerFactoryIsTheEventLoops() {
  InstallQtSeams();
  QVERIFY(dynamic_cast<TQtPlanTimer*>(CreatePlanTimer().get()) != nullptr);
  UninstallQtSeams();
  QVERIFY(dynamic_cast<TQtPlanTimer*>(CreatePlanTimer().get()) == nullptr);
}

void TAppSeamsTest::lockIsExclusiveAndReleased() {
  TSingleInstance first("QuorvinTestLock");
  TSingleInstance second("QuorvinTestLock");
  QVERIFY(first.Acquire());
  QVERIFY(!second.Acquire());
  QVERIFY(first.SocketPath().startsWith(FRuntime.path()));
  first.Release();
  // An immediate new start succeeds.
  QVERIFY(second.Acquire());
}

void TAppSeamsTest::laterStartChecksBothKeys_data() {
  QTest::addColumn<QString>("windowClass");
  QTest::addColumn<QString>("title");
  QTest::addColumn<bool>("shown");
  QTest::newRow("both keys") << "QWidget"
                             << "Quorvin" << true;
  QTest::newRow("title in other case") << "QWidget"
                                       << "quorvin" << false;
  QTest::newRow("other class") << "TOtherForm"
                               << "Quorvin" << false;
  QTest::newRow("title with blank") << "QWidget"
                                    << "Quorvin " << false;
}

void TAppSeamsTest::laterStartChecksBothKeys() {
  QFETCH(QString, windowClass);
  QFETCH(QString, title);
  QFETCH(bool, shown);
  TSingleInstance first("QuorvinTestKeys");
  QVERIFY(first.Acquire());
  QWidget window;
  window.setWindowTitle("Quorvin");
  int requests = 0;
  QVERIFY(first.Listen(&window, [&] { ++requests; }));
  // The later start runs its blocking exchange while this thread serves
  // (a deadline that a loaded machine cannot miss).
  TSingleInstance later("QuorvinTestKeys");
  QVERIFY(!later.Acquire());
  auto answer = std::async(std::launch::async, [&] { return later.AskRunningCopyToShow(windowClass, title, 10000); });
  while (answer.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
    QCoreApplication::processEvents();
  }
  QCOMPARE(answer.get(), shown);
  QCoreApplication::sendPostedEvents();
  QCOMPARE(requests, shown ? 1 : 0);
}

void TAppSeamsTest::laterStartWithoutRunningCopyEndsQuickly() {
  // The lock is held by a copy that never listens (still starting, or hung):
  // the later start gives up within its time limit.
  TSingleInstance holder("QuorvinTestSilent");
  QVERIFY(holder.Acquire());
  TSingleInstance later("QuorvinTestSilent");
  QElapsedTimer clock;
  clock.start();
  QVERIFY(!later.AskRunningCopyToShow("QWidget", "Quorvin", 300));
  QVERIFY(clock.elapsed() < 2000);
}

void TAppSeamsTest::standardInputDetached_data() {
  QTest::addColumn<bool>("closedBefore");
  QTest::newRow("a pipe nobody writes to") << false;
  QTest::newRow("no standard input at all") << true;
}

// Whatever standard input was (a terminal nobody types into, here a pipe
// nobody writes to), a read from it afterwards ends at once with end-of-file.
void TAppSeamsTest::standardInputDetached() {
  QFETCH(bool, closedBefore);
  const int saved = dup(STDIN_FILENO);
  QVERIFY(saved >= 0);
  int ends[2];
  QVERIFY(pipe(ends) == 0);
  if (closedBefore) {
    close(STDIN_FILENO);
  } else {
    QVERIFY(dup2(ends[0], STDIN_FILENO) == STDIN_FILENO);
  }
  const bool detached = DetachStandardInput();
  pollfd input{STDIN_FILENO, POLLIN, 0};
  const int ready = poll(&input, 1, 2000);
  char byte = 0;
  const ssize_t got = ready == 1 ? read(STDIN_FILENO, &byte, 1) : -1;
  const bool inheritable = fcntl(STDIN_FILENO, F_GETFD) == 0;
  dup2(saved, STDIN_FILENO);
  close(saved);
  close(ends[0]);
  close(ends[1]);
  QVERIFY(detached);
  QCOMPARE(ready, 1);
  QCOMPARE(got, ssize_t(0));
  QVERIFY(inheritable);
}

void TAppSeamsTest::terminationSignalReachesEventLoop_data() {
  QTest::addColumn<int>("signal");
  QTest::newRow("SIGTERM") << int(SIGTERM);
  QTest::newRow("SIGINT") << int(SIGINT);
  QTest::newRow("SIGHUP") << int(SIGHUP);
}

// The signal does not end the process: it becomes one call on the
// user-interface thread, made from the event loop; a second signal before
// that call is one more call at most, never a lost one.
void TAppSeamsTest::terminationSignalReachesEventLoop() {
  QFETCH(int, signal);
  // As from a terminal (a background start would have the interrupt ignored).
  std::signal(signal, SIG_DFL);
  int calls = 0;
  Qt::HANDLE thread = nullptr;
  {
    TSessionEndWatcher watcher([&] {
      ++calls;
      thread = QThread::currentThreadId();
    });
    QVERIFY(watcher.Active());
    QVERIFY(raise(signal) == 0);
    // Only the event loop delivers it.
    QCOMPARE(calls, 0);
    QTRY_COMPARE(calls, 1);
    QCOMPARE(thread, QThread::currentThreadId());
    QVERIFY(kill(getpid(), signal) == 0);
    QTRY_COMPARE(calls, 2);
  }
  // The watcher gone, the signal has its default action again.
  struct sigaction current {};
  sigaction(signal, nullptr, &current);
  QVERIFY(current.sa_handler == SIG_DFL);
}

// The helper thread of the blocking-call worker never takes a termination
// signal: a call waiting in the client library is not interrupted by it.
// Started with nohup (or in the background), a hang-up (interrupt) stays
// ignored; a request to terminate is handled all the same.
void TAppSeamsTest::ignoredHangUpStaysIgnored() {
  for (int signal : {SIGHUP, SIGINT}) {
    std::signal(signal, SIG_IGN);
    int calls = 0;
    {
      TSessionEndWatcher watcher([&] { ++calls; });
      struct sigaction current {};
      sigaction(signal, nullptr, &current);
      QVERIFY(current.sa_handler == SIG_IGN);
      QVERIFY(raise(signal) == 0);
      QVERIFY(raise(SIGTERM) == 0);
      QTRY_COMPARE(calls, 1);
    }
    struct sigaction after {};
    sigaction(signal, nullptr, &after);
    QVERIFY(after.sa_handler == SIG_IGN);
    std::signal(signal, SIG_DFL);
  }
}

// The jobs' thread never takes a termination signal: the front end's
// thread reads them and asks the job to stop.
void TAppSeamsTest::workerThreadLeavesSignalsToOthers() {
  TJobQueue queue;
  std::promise<sigset_t> seen;
  queue.Submit({std::nullopt, {}, TJobBy::User, 0, [&] {
                  sigset_t mask;
                  sigemptyset(&mask);
                  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
                  seen.set_value(mask);
                }});
  const sigset_t mask = seen.get_future().get();
  for (int signal : TTerminationSignals::Signals) QVERIFY(sigismember(&mask, signal) == 1);
}

namespace {
std::atomic<int> ForeignCalls{0};
void ForeignHandler(int) { ++ForeignCalls; }
}  // namespace

// A library call that puts its own handler in place (as the client library
// does when first used) does not keep it: the program's handler is back when
// the call returns.
void TAppSeamsTest::blockingCallTakesSignalsBack() {
  int calls = 0;
  TSessionEndWatcher watcher([&] { ++calls; });
  CallClientLibrary([] { std::signal(SIGTERM, ForeignHandler); });
  QVERIFY(raise(SIGTERM) == 0);
  QTRY_COMPARE(calls, 1);
  QCOMPARE(ForeignCalls.load(), 0);
}

QTEST_MAIN(TAppSeamsTest)
#include "app_seams_test.moc"
