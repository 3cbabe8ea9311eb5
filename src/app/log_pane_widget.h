#pragma once
// The log pane: a read-only plain-text view the job runner clears and fills
// one line at a time.

#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>
#include <string>

#include "runner/ui_seams.h"

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
