#include "controller/status_texts.h"

#include "controller/quorvin.h"
#include "platform/date_time.h"
#include "runner/schedule.h"

namespace {

std::string Stamp(TDateTime moment) { return FormatDateTime("dd.mm.yyyy в hh:nn", moment); }

std::string NameOf(const std::string& path, bool shortName) {
  if (path.empty()) return "база данных не выбрана";
  const std::size_t slash = path.find_last_of("/\\");
  return shortName && slash != std::string::npos ? path.substr(slash + 1) : path;
}

std::string JobLine(const TQuorvin& q, bool shortNames) {
  const TRunningJob& job = q.RunningJob();
  if (!q.JobRunning() || job.Kind == 0) return {};
  const char* what = job.Kind == TSchedule::KindRestore ? "Идёт восстановление: " : "Идёт резервное копирование: ";
  return what + NameOf(job.File, shortNames);
}

std::string NextLine(const TQuorvin& q, bool shortNames) {
  if (!q.Running) return {};
  const std::optional<TDateTime> next = q.NextPlanBackup();
  if (!next) return "Расписание запущено, копий по нему не предстоит";
  return "Следующая копия по расписанию: " + Stamp(*next) + " — " + NameOf(q.DataBase, shortNames);
}

std::string LastLine(const TQuorvin& q) {
  const TJobReport& last = q.LastPlanBackup;
  if (last.Ended == 0) return {};
  std::string outcome = "создана";
  if (!last.Succeeded)
    outcome = "НЕ создана: " + last.Reason;
  else if (!last.Warnings.empty())
    outcome += ", внимание: " + last.Warnings.front();
  return "Последняя копия по расписанию: " + Stamp(last.Ended) + " — " + outcome;
}

}  // namespace

TStatusLines StatusLinesOf(const TQuorvin& q, bool shortNames) {
  return {JobLine(q, shortNames), NextLine(q, shortNames), LastLine(q)};
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
