#include "app/status_panel.h"

#include <QPainter>
#include <QProgressBar>
#include <QStatusBar>
#include <QStyle>

namespace {

// Separates the parts of the state.
const char* const StatusSeparator = "   |   ";

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

QString TElidedLabel::ShownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

QSize TElidedLabel::minimumSizeHint() const { return {0, QLabel::minimumSizeHint().height()}; }

void TElidedLabel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(), isEnabled(), ShownText(),
                        foregroundRole());
}

TStatusPanel::TStatusPanel(QStatusBar* bar) {
  State = new TElidedLabel(bar);
  State->setObjectName("StatusState");
  State->setTextFormat(Qt::PlainText);
  State->setMinimumWidth(0);
  State->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  bar->addWidget(State, 1);
  Progress = new QProgressBar(bar);
  Progress->setRange(0, 100);
  Progress->setMaximumWidth(160);
  // The figure's words are on the line.
  Progress->setTextVisible(false);
  bar->addWidget(Progress);
  Progress->hide();
}

void TStatusPanel::Show(const TStatusLines& lines, const std::optional<TJobProgress>& progress, bool jobInProgress) {
  // A notice belongs to the job during which it came: afterwards its box
  // may still be open, but the line tells the state again.
  if (!jobInProgress) FNotice.clear();
  // The failures early on the line: what is cut at the window's edge is the
  // least urgent.
  QStringList parts;
  if (!lines.Job.empty()) parts << Q(lines.Job);
  if (!FNotice.isEmpty()) parts << FNotice.simplified();
  if (!lines.Failures.empty()) parts << Q(lines.Failures);
  if (!lines.Waiting.empty()) parts << Q(lines.Waiting);
  parts << (lines.NextPlanBackup.empty() ? QString(PlanStoppedText) : Q(lines.NextPlanBackup));
  if (!lines.LastPlanBackup.empty()) parts << Q(lines.LastPlanBackup);
  State->setText(parts.join(StatusSeparator));
  // The tool tip a part a line: the whole text, easier to read.
  State->setToolTip(parts.join('\n'));
  Progress->setVisible(progress.has_value());
  if (!progress) return;
  if (progress->Estimated) {
    Progress->setRange(0, 100);
    Progress->setValue(progress->Percent);
  } else {
    Progress->setRange(0, 0);
  }
}

QString TStatusPanel::Text() const { return State->text(); }
