#include "app/blocking_call_worker.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <chrono>
#include <exception>

void TBlockingCallWorker::Run(const TBlockingCall& call) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || QThread::currentThread() != app->thread()) {
    call();
    return;
  }
  QEventLoop loop;
  TBlockingCallThread::TWaiting waiting;
  waiting.Grace = std::chrono::milliseconds(2);
  waiting.Turn = [&loop] { loop.exec(); };
  waiting.Wake = [&loop] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); };
  std::exception_ptr error;
  try {
    FThread.Run(call, waiting);
  } catch (...) {
    error = std::current_exception();
  }
  // The helper's wake-up may still be queued: it must not reach a loop that
  // is gone, so deliver it now.
  QCoreApplication::sendPostedEvents(&loop, QEvent::MetaCall);
  if (error) std::rethrow_exception(error);
}

void TBlockingCallWorker::Install() {
  SetBlockingCallRunner([this](const TBlockingCall& call) { Run(call); });
}

void TBlockingCallWorker::Uninstall() { SetBlockingCallRunner({}); }
