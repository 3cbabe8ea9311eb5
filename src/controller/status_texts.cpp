#include "controller/status_texts.h"

#include "controller/history/job_progress.h"
#include "controller/plan_status/plan_status.h"
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

const char* DoingWord(std::int32_t kind) {
  return kind == TSchedule::KindRestore ? "восстановление" : "резервное копирование";
}

std::string JobLine(const TQuorvin& q, const TStyle& style, const std::optional<TJobProgress>* shown) {
  const TRunningJob& job = q.Jobs().RunningJob();
  if (!q.Jobs().JobRunning() || job.Kind == 0) return {};
  const char* what = job.Kind == TSchedule::KindRestore ? "Идёт восстановление: " : "Идёт резервное копирование: ";
  const std::optional<TJobProgress> progress = shown ? *shown : q.Jobs().JobProgress();
  return what + style.Name(job.File) + (progress ? " — " + PhaseProgressText(*progress) : std::string());
}

std::string WaitingLine(const TQuorvin& q, const TStyle& style) {
  if (!q.WaitingFor().empty())
    return (style.Short ? "Ждёт другую программу: " : "Задание ждёт окончания задания другой программы: ") +
           q.WaitingFor();
  const auto& waiting = q.Queue().Waiting();
  if (waiting.empty()) return {};
  const TQueuedJob& first = waiting.front();
  std::string line =
      std::string(style.Short ? "Ждёт: " : "Ждёт очереди: ") + DoingWord(first.Kind) + " " + style.Name(first.Database);
  if (waiting.size() > 1) line += " и ещё " + std::to_string(waiting.size() - 1);
  return line;
}

// The next backups, the earliest first; a tool tip has room for the first two.
std::string NextBackupsText(const std::vector<TNextBackup>& next, const TStyle& style) {
  std::string line = style.Short ? "Следующая копия: " : "Следующая копия по расписанию: ";
  const std::size_t shown = style.Short ? std::min<std::size_t>(next.size(), 2) : next.size();
  for (std::size_t i = 0; i < shown; ++i)
    line += (i > 0 ? "; " : "") + style.Stamp(next[i].When) + " — " + style.Name(next[i].DataBase);
  if (shown < next.size()) line += " и ещё " + std::to_string(next.size() - shown);
  return line;
}

std::string NextLine(const TQuorvin& q, const TStyle& style, const std::optional<TPlanStatus>& elsewhereStatus) {
  if (!q.Plan().Running()) {
    const std::string elsewhere = q.PlanRunElsewhere();
    if (elsewhere.empty()) return {};
    std::string line = "Расписание выполняет: " + elsewhere;
    // What that program wrote of its plan, when it writes it.
    if (elsewhereStatus && !elsewhereStatus->Next.empty())
      line += (style.Short ? "\n" : ". ") + NextBackupsText(elsewhereStatus->Next, style);
    return line;
  }
  const std::vector<TNextBackup> next = q.NextPlanBackups();
  if (next.empty()) return "Расписание запущено, копий по нему не предстоит";
  return NextBackupsText(next, style);
}

// The latest of the other program's reports, when it runs the plan.
const TJobReport* LatestReport(const std::optional<TPlanStatus>& elsewhereStatus) {
  const TJobReport* latest = nullptr;
  if (elsewhereStatus)
    for (const TJobReport& report : elsewhereStatus->Last)
      if (latest == nullptr || report.Ended > latest->Ended) latest = &report;
  return latest;
}

std::string LastLine(const TQuorvin& q, const TStyle& style, const std::optional<TPlanStatus>& elsewhereStatus) {
  const TJobReport* elsewhere = LatestReport(elsewhereStatus);
  const TJobReport& last = elsewhere != nullptr ? *elsewhere : q.Plan().LastPlanBackup();
  if (last.Ended == 0) return {};
  std::string outcome = "создана";
  if (!last.Succeeded)
    outcome = "НЕ создана: " + last.Reason;
  else if (!last.Warnings.empty())
    outcome += ", внимание: " + last.Warnings.front();
  // Beside other databases the plan's failure names its own.
  const bool several = !q.Settings().MorePlanEntries.empty() || elsewhere != nullptr;
  const std::string database = several ? style.Name(last.Database) + ": " : "";
  return (style.Short ? "Последняя: " : "Последняя копия по расписанию: ") + style.Stamp(last.Ended) + " — " +
         database + outcome;
}

}  // namespace

TStatusLines StatusLinesOf(const TQuorvin& q, bool shortNames, const std::optional<TJobProgress>* progress) {
  const TStyle style{shortNames};
  const std::optional<TPlanStatus> elsewhere = PlanStatusElsewhere(q);
  std::string job = JobLine(q, style, progress);
  // The job of the program that runs the plan, while this one runs none.
  if (job.empty() && elsewhere) job = elsewhere->Job;
  return {job, WaitingLine(q, style), NextLine(q, style, elsewhere), LastLine(q, style, elsewhere)};
}

std::string JoinStatusLines(const TStatusLines& lines, const std::string& separator) {
  std::string joined;
  for (const std::string* line : {&lines.Job, &lines.Waiting, &lines.NextPlanBackup, &lines.LastPlanBackup}) {
    if (line->empty()) continue;
    if (!joined.empty()) joined += separator;
    joined += *line;
  }
  return joined;
}
