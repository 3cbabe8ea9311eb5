#include "app/log_pane_widget.h"

#include <QFontDatabase>
#include <QPalette>
#include <QScrollBar>

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
  FPending.append(QString::fromStdString(line));
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
