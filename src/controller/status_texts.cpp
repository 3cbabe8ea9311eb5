#include "controller/status_texts.h"

#include "controller/job_progress.h"
#include "controller/quorvin.h"
#include "platform/date_time.h"
#include "runner/schedule.h"

namespace {

// The status bar has room for whole paths and years; a tool tip (127
// characters) for file names and day.month.
struct TStyle {
  bool Short;
  std::string Stamp(TDateTime moment) const {
    return FormatDateTime(Short ? "dd.mm в hh:nn" : "dd.mm.yyyy в hh:nn", moment);
  }
  std::string Name(const std::string& path) const {
    if (path.empty()) return "база данных не выбрана";
    const std::size_t slash = path.find_last_of("/\\");
    return Short && slash != std::string::npos ? path.substr(slash + 1) : path;
  }
};

std::string JobLine(const TQuorvin& q, const TStyle& style) {
  const TRunningJob& job = q.RunningJob();
  if (!q.JobRunning() || job.Kind == 0) return {};
  const char* what = job.Kind == TSchedule::KindRestore ? "Идёт восстановление: " : "Идёт резервное копирование: ";
  const std::optional<TJobProgress> progress = q.JobProgress();
  return what + style.Name(job.File) + (progress ? " — " + ProgressText(*progress) : std::string());
}

std::string NextLine(const TQuorvin& q, const TStyle& style) {
  if (!q.Running) return {};
  const std::optional<TDateTime> next = q.NextPlanBackup();
  if (!next) return "Расписание запущено, копий по нему не предстоит";
  return (style.Short ? "Следующая копия: " : "Следующая копия по расписанию: ") + style.Stamp(*next) + " — " +
         style.Name(q.DataBase);
}

std::string LastLine(const TQuorvin& q, const TStyle& style) {
  const TJobReport& last = q.LastPlanBackup;
  if (last.Ended == 0) return {};
  std::string outcome = "создана";
  if (!last.Succeeded)
    outcome = "НЕ создана: " + last.Reason;
  else if (!last.Warnings.empty())
    outcome += ", внимание: " + last.Warnings.front();
  return (style.Short ? "Последняя: " : "Последняя копия по расписанию: ") + style.Stamp(last.Ended) + " — " + outcome;
}

}  // namespace

TStatusLines StatusLinesOf(const TQuorvin& q, bool shortNames) {
  const TStyle style{shortNames};
  return {JobLine(q, style), NextLine(q, style), LastLine(q, style)};
}

std::string JoinStatusLines(const TStatusLines& lines, const std::string& separator) {
  std::string joined;
  for (const std::string* line : {&lines.Job, &lines.NextPlanBackup, &lines.LastPlanBackup}) {
    if (line->empty()) continue;
    if (!joined.empty()) joined += separator;
    joined += *line;
  }
  return joined;
}
