#include "app/qt_seams.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPalette>
#include <QScrollBar>
#include <QThread>
#include <chrono>
#include <exception>


namespace {

QString Text(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Message boxes of the program carry its title, as the desktop shows it.
int RunBox(QWidget* owner, QMessageBox::Icon icon, const std::string& text, QMessageBox::StandardButtons buttons,
           QMessageBox::StandardButton defaultButton) {
  QMessageBox box(icon, QApplication::applicationDisplayName(), Text(text), buttons, owner);
  box.setDefaultButton(defaultButton);
  box.setTextFormat(Qt::PlainText);
  return box.exec();
}

}  // namespace

// ---- TLogPane

TLogPane::TLogPane(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setUndoRedoEnabled(false);
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setFamilies({"Courier New", font.family()});
  font.setStyleHint(QFont::Monospace);
  font.setPointSize(8);
  setFont(font);
  // Window-colour text on the inactive-caption colour (the classic desktop
  // scheme), and a selection that stays visible when the pane loses focus.
  QPalette pal = palette();
  const QColor inactiveCaption(128, 128, 128);
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    pal.setColor(group, QPalette::Base, inactiveCaption);
    pal.setColor(group, QPalette::Text, Qt::white);
    pal.setColor(group, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(group, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
  }
  setPalette(pal);
  viewport()->setCursor(Qt::ArrowCursor);
  // No scroll bar until the first job switches the vertical one on.
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  FFlushTimer.setSingleShot(true);
  FFlushTimer.setInterval(0);
  QObject::connect(&FFlushTimer, &QTimer::timeout, [this] { Flush(); });
}

void TLogPane::Clear() {
  FPending.clear();
  FFlushTimer.stop();
  clear();
}

void TLogPane::AppendLine(const std::string& line) {
  FPending.append(::Text(line));
  // A job that writes faster than the pump runs: a batch stays small, so
  // putting it on the screen never holds the event loop up for long.
  if (FPending.size() >= MaxPendingLines) {
    Flush();
  } else if (!FFlushTimer.isActive()) {
    FFlushTimer.start();
  }
}

void TLogPane::Flush() {
  FFlushTimer.stop();
  if (FPending.isEmpty()) return;
  QScrollBar* bar = verticalScrollBar();
  // Follow the output unless the user has scrolled up to read.
  const bool following = bar->value() >= bar->maximum();
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  // One insertion for the whole batch; each line break starts a new line
  // (block) of the document.
  QString batch = FPending.join(QChar::LineFeed);
  if (!document()->isEmpty()) batch.prepend(QChar::LineFeed);
  cursor.insertText(batch);
  FPending.clear();
  if (following) bar->setValue(bar->maximum());
}

QString TLogPane::Text() {
  Flush();
  return toPlainText();
}

int TLogPane::LineCount() {
  Flush();
  return document()->isEmpty() ? 0 : blockCount();
}

// ---- TMessageBoxPrompts

void TMessageBoxPrompts::ShowMessage(const std::string& text) {
  RunBox(FOwner, QMessageBox::NoIcon, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool TMessageBoxPrompts::AskYesNo(const std::string& text) {
  return RunBox(FOwner, QMessageBox::Warning, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
         QMessageBox::Yes;
}

bool TMessageBoxPrompts::ConfirmOkCancel(const std::string& text) {
  return RunBox(FOwner, QMessageBox::Question, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) ==
         QMessageBox::Ok;
}

void TMessageBoxPrompts::Beep() { QApplication::beep(); }

// ---- TQtPlanTimer

TQtPlanTimer::TQtPlanTimer() {
  FTimer.setTimerType(Qt::CoarseTimer);
  QObject::connect(&FTimer, &QTimer::timeout, [this] { Tick(); });
}

void TQtPlanTimer::SetEnabled(bool enabled) {
  TPlanTimer::SetEnabled(enabled);
  if (enabled) {
    FTimer.start(FInterval);
  } else {
    FTimer.stop();
  }
}

void TQtPlanTimer::SetInterval(int msec) {
  TPlanTimer::SetInterval(msec);
  FTimer.setInterval(msec);
}

// ---- TBlockingCallWorker

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
  waiting.Wake = [&loop] { QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection); };
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

// ---- installation

void InstallQtSeams() {
  // The runner pumps after every line of output, which can mean tens of
  // thousands of lines a second; handling events (and so repainting the
  // pane) at most every PumpIntervalMs looks the same to the user and keeps
  // a line's cost to the append itself.
  auto since = std::make_shared<QElapsedTimer>();
  SetMessagePump([since] {
    if (since->isValid() && since->elapsed() < PumpIntervalMs) return;
    QCoreApplication::processEvents();
    since->start();
  });
  SetPlanTimerFactory([] { return std::make_unique<TQtPlanTimer>(); });
}

void UninstallQtSeams() {
  SetMessagePump({});
  SetPlanTimerFactory({});
}
