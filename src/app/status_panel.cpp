#include "app/status_panel.h"

#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>

namespace {

// Separates the parts of the state.
const char* const StatusSeparator = "   |   ";

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TStatusPanel::TStatusPanel(QStatusBar* bar) {
  State = new QLabel(bar);
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
  QStringList parts;
  if (!lines.Job.empty()) parts << Q(lines.Job);
  if (!FNotice.isEmpty()) parts << FNotice.simplified();
  if (!lines.Waiting.empty()) parts << Q(lines.Waiting);
  parts << (lines.NextPlanBackup.empty() ? QString(PlanStoppedText) : Q(lines.NextPlanBackup));
  if (!lines.LastPlanBackup.empty()) parts << Q(lines.LastPlanBackup);
  const QString text = parts.join(StatusSeparator);
  State->setText(text);
  State->setToolTip(text);
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
