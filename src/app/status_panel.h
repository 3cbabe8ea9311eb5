#pragma once
// The main window's status bar: one line with the state at a glance and the
// job's progress as a bar beside it, both from the same figure. The line
// shows the job and its progress while one runs, the failed backups nobody
// has seen yet, the plan's next backup or that the plan is stopped, and the
// newest outcome of each database; a notice of the job only while the job it
// belongs to runs. Cut with "…" where the window ends, whole in its tool tip.

#include <QLabel>
#include <QString>
#include <optional>

#include "controller/history/job_progress.h"
#include "controller/status_texts.h"

class QProgressBar;
class QStatusBar;

// A label of one line whose text, too long for it, is drawn cut at its end
// with "…"; text() keeps it whole.
class TElidedLabel : public QLabel {
 public:
  using QLabel::QLabel;
  // The text as drawn at the label's width.
  QString ShownText() const;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

class TStatusPanel {
 public:
  explicit TStatusPanel(QStatusBar* bar);

  // A notice shown without blocking during a job; empty: none open.
  void SetNotice(const QString& text) { FNotice = text; }
  const QString& Notice() const { return FNotice; }
  // Brings the line and the bar up to date. `progress`: the job's progress
  // (nullopt: no job runs); `jobInProgress`: a job runs or waits (a notice
  // is current only then).
  void Show(const TStatusLines& lines, const std::optional<TJobProgress>& progress, bool jobInProgress);
  // The line as shown (also its tool tip).
  QString Text() const;

  TElidedLabel* State;
  // A figure while there is an estimate, a busy bar while there is none yet,
  // hidden while no job runs.
  QProgressBar* Progress;

 private:
  QString FNotice;
};

// Said on the status line while the plan does not run here.
inline constexpr const char* PlanStoppedText = "Расписание: план остановлен";
