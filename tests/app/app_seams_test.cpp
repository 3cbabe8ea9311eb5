// The Qt side of the core's seams and the start-up guard, headless: the
// blocking-call worker keeps events flowing and hands errors back unchanged,
// the plan timer ticks on the event loop, and the single-instance lock and
// socket find, check and wake the first copy.

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <atomic>
#include <csignal>
#include <future>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include "app/blocking_call_worker.h"
#include "app/qt_plan_timer.h"
#include "app/qt_seams.h"
#include "app/session_end.h"
#include "app/single_instance.h"
#include "platform/exception.h"
#include "platform/process_signals.h"
#include "service/blocking_call.h"

class TAppSeamsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // Lock and socket in a runtime folder of this test alone.
    QVERIFY(FRuntime.isValid());
    QFile::setPermissions(FRuntime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", FRuntime.path().toUtf8());
  }

  void workerKeepsEventsFlowing();
  void workerReturnsErrorsUnchanged();
  void workerUsesOneHelperThread();
  void planTimerTicksOnEventLoop();
  void pumpProcessesPostedEvents();
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

void TAppSeamsTest::workerKeepsEventsFlowing() {
  TBlockingCallWorker worker;
  worker.Install();
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(10);
  bool ran = false;
  RunBlockingCall([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ran = true;
  });
  TBlockingCallWorker::Uninstall();
  QVERIFY(ran);
  // Roughly 40 ticks are due; a frozen thread would have none.
  QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
}

void TAppSeamsTest::workerReturnsErrorsUnchanged() {
  TBlockingCallWorker worker;
  worker.Install();
  for (int delayMs : {0, 50}) {
    try {
      RunBlockingCall([delayMs] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        throw EOSError(13, "denied");
      });
      QFAIL("no exception");
    } catch (const EOSError& e) {
      QCOMPARE(e.Message, std::string("denied"));
    }
  }
  TBlockingCallWorker::Uninstall();
}

void TAppSeamsTest::workerUsesOneHelperThread() {
  TBlockingCallWorker worker;
  worker.Install();
  std::thread::id first;
  std::thread::id second;
  RunBlockingCall([&] { first = std::this_thread::get_id(); });
  RunBlockingCall([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    second = std::this_thread::get_id();
  });
  // A call from a thread other than the user-interface one runs directly.
  std::thread::id direct;
  std::thread other([&] { RunBlockingCall([&] { direct = std::this_thread::get_id(); }); });
  const std::thread::id otherId = other.get_id();
  other.join();
  TBlockingCallWorker::Uninstall();
  QVERIFY(first != std::this_thread::get_id());
  QVERIFY(first == second);
  QVERIFY(direct == otherId);
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

void TAppSeamsTest::pumpProcessesPostedEvents() {
  InstallQtSeams();
  bool delivered = false;
  QMetaObject::invokeMethod(
      qApp, [&] { delivered = true; }, Qt::QueuedConnection);
  ProcessMessages();
  UninstallQtSeams();
  QVERIFY(delivered);
  // The timer factory is the event loop's while installed.
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
  // The later start runs its blocking exchange while this thread serves.
  TSingleInstance later("QuorvinTestKeys");
  QVERIFY(!later.Acquire());
  auto answer = std::async(std::launch::async, [&] { return later.AskRunningCopyToShow(windowClass, title, 2000); });
  while (answer.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
    QCoreApplication::processEvents();
  }
  QCOMPARE(answer.get(), shown);
  QCoreApplication::processEvents();
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

void TAppSeamsTest::workerThreadLeavesSignalsToOthers() {
  TBlockingCallWorker worker;
  worker.Install();
  sigset_t mask;
  sigemptyset(&mask);
  std::thread::id helper;
  RunBlockingCall([&] {
    helper = std::this_thread::get_id();
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  });
  TBlockingCallWorker::Uninstall();
  QVERIFY(helper != std::this_thread::get_id());
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
  TBlockingCallWorker worker;
  worker.Install();
  RunBlockingCall([] { std::signal(SIGTERM, ForeignHandler); });
  TBlockingCallWorker::Uninstall();
  QVERIFY(raise(SIGTERM) == 0);
  QTRY_COMPARE(calls, 1);
  QCOMPARE(ForeignCalls.load(), 0);
}

QTEST_MAIN(TAppSeamsTest)
#include "app_seams_test.moc"
