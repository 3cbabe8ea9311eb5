#pragma once
// The user-interface side of the core's seams: the log pane, the event pump,
// message boxes, the plan timer on the event loop, and the blocking-call
// runner that keeps the window alive while the client library waits.

#include <QPlainTextEdit>
#include <QTimer>

#include "controller/plan_timer.h"
#include "runner/ui_seams.h"
#include "service/blocking_call.h"

// The log pane: a read-only plain-text view the job runner clears and fills
// one line at a time.
// Lines are gathered and put on the screen together at the next turn of the
// event loop (the job's event pump included): one document change per batch
// instead of one per line, so a fast job is not slowed down by its own
// output. Text() and LineCount() always include every line appended.
class TLogPane : public QPlainTextEdit, public TLogPaneView {
 public:
  explicit TLogPane(QWidget* parent = nullptr);
  void Clear() override;
  void AppendLine(const std::string& line) override;

  // Puts the gathered lines on the screen now.
  void Flush();
  QString Text();
  static constexpr int MaxPendingLines = 1000;
  int LineCount();

 private:
  QStringList FPending;
  QTimer FFlushTimer;
};

// Modal message boxes over `owner` (the main window) and the desktop's beep.
class TMessageBoxPrompts : public TPrompts {
 public:
  explicit TMessageBoxPrompts(QWidget* owner) : FOwner(owner) {}
  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  bool ConfirmOkCancel(const std::string& text) override;
  void Beep() override;

 private:
  QWidget* FOwner;
};

// The plan timer as a QTimer of the user-interface thread.
class TQtPlanTimer : public TPlanTimer {
 public:
  TQtPlanTimer();
  void SetEnabled(bool enabled) override;
  void SetInterval(int msec) override;

 private:
  QTimer FTimer;
};

// The program's blocking-call runner: each call runs on the one helper thread
// of TBlockingCallThread while the user-interface thread keeps handling
// events in a local event loop. A call that ends within a couple of
// milliseconds (most output queries) is simply waited for, so a fast job does
// not pay for an event loop per line.
class TBlockingCallWorker {
 public:
  // Runs `call` exactly once on the helper thread and returns when it has
  // ended, rethrowing its exception unchanged. Called from any other thread
  // than the user-interface thread it runs the call directly.
  void Run(const TBlockingCall& call);

  // Installs / removes this worker as the service layer's runner.
  void Install();
  static void Uninstall();

 private:
  TBlockingCallThread FThread;
};

// The event pump handles pending events at most this often (milliseconds).
inline constexpr int PumpIntervalMs = 8;

// The event pump and the plan-timer factory of the Qt program.
void InstallQtSeams();
void UninstallQtSeams();
