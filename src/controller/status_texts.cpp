#include "controller/status_texts.h"

#include <algorithm>

#include "controller/history/backup_outcomes.h"
#include "controller/history/job_progress.h"
#include "controller/messages/messages.h"
#include "controller/plan_status/plan_status.h"
#include "controller/quorvin.h"
#include "jobs/job_kind.h"
#include "platform/clock.h"
#include "platform/date_time.h"
#include "platform/text.h"

namespace {

// The status bar has room for whole paths and years; a tool tip (127
// characters) for file names and day.month.
struct TStyle {
  bool Short;
  TLanguage Language = TLanguage::Russian;
  std::string Stamp(TDateTime moment) const {
    return FormatDateTime(std::string(MessageText(Short ? TMessage::StampShort : TMessage::StampLong, Language)),
                          moment);
  }
  std::string Stamp(std::int64_t seconds) const { return Stamp(LocalDateTimeOf(seconds * 1000)); }
  std::string Name(const std::string& path) const {
    if (path.empty()) return Message(TMessage::NoDatabaseChosen, Language);
    const std::size_t slash = path.find_last_of("/\\");
    return Short && slash != std::string::npos ? path.substr(slash + 1) : path;
  }
};

const char* DoingWord(std::optional<TJobKind> kind) {
  return kind == TJobKind::Restore ? "восстановление" : "резервное копирование";
}

std::string JobLine(const TQuorvin& q, const TStyle& style, const std::optional<TJobProgress>* shown) {
  const TRunningJob& job = q.Jobs().RunningJob();
  if (!q.Jobs().JobRunning() || !job.Kind) return {};
  const std::string what =
      Message(job.Kind == TJobKind::Restore ? TMessage::Restoring : TMessage::BackingUp, style.Language);
  const std::optional<TJobProgress> progress = shown ? *shown : q.Jobs().JobProgress();
  return what + style.Name(job.File) +
         (progress ? " — " + PhaseProgressText(*progress, style.Language) : std::string());
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
  std::string line =
      Message(style.Short ? TMessage::NextPlanBackupShort : TMessage::NextPlanBackupLong, style.Language);
  const std::size_t shown = style.Short ? std::min<std::size_t>(next.size(), 2) : next.size();
  for (std::size_t i = 0; i < shown; ++i)
    line += (i > 0 ? "; " : "") + style.Stamp(next[i].When) + " — " + style.Name(next[i].DataBase);
  if (shown < next.size()) line += Message(TMessage::AndMore, style.Language, {std::to_string(next.size() - shown)});
  return line;
}

std::string NextLine(const TQuorvin& q, const TStyle& style, const std::optional<TPlanStatus>& elsewhereStatus) {
  if (!q.Plan().Running()) {
    const std::string elsewhere = q.PlanRunElsewhere();
    if (elsewhere.empty()) return {};
    std::string line = Message(TMessage::PlanRunBy, style.Language) + elsewhere;
    // What that program wrote of its plan, when it writes it.
    if (elsewhereStatus && !elsewhereStatus->Next.empty())
      line += (style.Short ? "\n" : ". ") + NextBackupsText(elsewhereStatus->Next, style);
    return line;
  }
  const std::vector<TNextBackup> next = q.NextPlanBackups();
  if (next.empty()) return Message(TMessage::PlanMakesNoBackups, style.Language);
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
    outcome = "НЕ создана: " + ShownReason(last.Reason, style.Language);
  else if (!last.Warnings.empty())
    outcome += ", внимание: " + last.Warnings.front();
  // Beside other databases the plan's failure names its own.
  const bool several = !q.Settings().MorePlanEntries.empty() || elsewhere != nullptr;
  const std::string database = several ? style.Name(last.Database) + ": " : "";
  return (style.Short ? "Последняя: " : "Последняя копия по расписанию: ") + style.Stamp(last.Ended) + " — " +
         database + outcome;
}

// A tool tip has room for a short reason only; the status line's own tool
// tip has every reason whole.
constexpr std::size_t ShortReason = 40;

std::string ReasonText(const THistoryRecord& record, const TStyle& style) {
  const std::string reason =
      record.Reason.empty() ? "причина не записана" : OnOneLine(ShownReason(record.Reason, style.Language));
  if (!style.Short || Utf8Length(reason) <= ShortReason) return reason;
  return Utf8Cut(reason, ShortReason - 1) + "…";
}

// Every failure not seen yet, by database: the long form lists each one with
// its reason, the short one the latest with how many there are.
std::string FailuresLine(const TBackupOutcomes& outcomes, const TStyle& style) {
  std::string line;
  for (const TDatabaseOutcome* outcome : outcomes.WithUnseenFailures()) {
    const THistoryRecord& latest = outcome->Unseen.back();
    if (style.Short) {
      line += (line.empty() ? "" : "\n") + std::string("НЕ создана: ") + style.Name(outcome->Database) + " " +
              style.Stamp(EndedSeconds(latest).value_or(0)) + " — " + ReasonText(latest, style);
      if (outcome->UnseenCount > 1) line += " (ошибок: " + std::to_string(outcome->UnseenCount) + ")";
      continue;
    }
    line += (line.empty() ? "Не созданы копии: " : "; ") + style.Name(outcome->Database) + " — ";
    for (std::size_t i = 0; i < outcome->Unseen.size(); ++i) {
      const THistoryRecord& failure = outcome->Unseen[i];
      line += (i > 0 ? ", " : "") + style.Stamp(EndedSeconds(failure).value_or(0)) + ": " + ReasonText(failure, style);
    }
    if (outcome->UnseenCount > outcome->Unseen.size())
      line += " и ещё " + std::to_string(outcome->UnseenCount - outcome->Unseen.size()) + " раньше";
  }
  return line;
}

// The plan's databases, each once, in the order of the list.
std::vector<TPlanEntry> PlanDatabases(const TQuorvin& q) {
  std::vector<TPlanEntry> entries;
  for (const TPlanEntry& entry : q.PlanEntries()) {
    const bool seen = std::any_of(entries.begin(), entries.end(),
                                  [&](const TPlanEntry& other) { return other.DataBase == entry.DataBase; });
    if (!entry.DataBase.empty() && !seen) entries.push_back(entry);
  }
  return entries;
}

// The warning of the plan backup (this program's or the one that runs the
// plan) that is still the database's newest backup; empty when none.
std::string CurrentWarning(const TQuorvin& q, const std::optional<TPlanStatus>& elsewhere, const TPlanEntry& entry,
                           const TDatabaseOutcome* outcome) {
  std::vector<const TJobReport*> reports{q.Plan().LastReportOf(entry.Id)};
  if (elsewhere)
    for (const TJobReport& report : elsewhere->Last)
      if (report.Database == entry.DataBase) reports.push_back(&report);
  for (const TJobReport* report : reports) {
    if (report == nullptr || !report->Succeeded || report->Warnings.empty()) continue;
    // The report follows its history record; a later backup replaces it.
    if (outcome == nullptr || outcome->NewestEnded <= UtcMsOf(report->Ended) / 1000 + 1)
      return report->Warnings.front();
  }
  return {};
}

// The newest backup of each database of the plan, whoever made it.
std::string NewestLine(const TQuorvin& q, const TBackupOutcomes& outcomes, const TStyle& style,
                       const std::optional<TPlanStatus>& elsewhere) {
  std::vector<std::string> parts;
  const std::vector<TPlanEntry> entries = PlanDatabases(q);
  for (const TPlanEntry& entry : entries) {
    const TDatabaseOutcome* outcome = outcomes.Of(entry.DataBase);
    if (outcome == nullptr) continue;
    const THistoryRecord& newest = outcome->Newest;
    std::string text = style.Stamp(outcome->NewestEnded) + (entries.size() > 1 ? " " : " — ");
    if (!newest.Succeeded()) {
      // An unseen failure has its reason among the failures already.
      text += "НЕ создана" + (outcome->UnseenCount > 0 ? std::string() : ": " + ReasonText(newest, style));
    } else {
      const std::string warning = CurrentWarning(q, elsewhere, entry, outcome);
      text += "создана" + (warning.empty() ? std::string() : ", внимание: " + warning);
    }
    parts.push_back(entries.size() > 1 ? style.Name(entry.DataBase) + " — " + text : text);
  }
  if (parts.empty()) return {};
  std::string line = entries.size() > 1 ? (style.Short ? "Последние: " : "Последние копии: ")
                                        : (style.Short ? "Последняя: " : "Последняя копия: ");
  for (std::size_t i = 0; i < parts.size(); ++i) line += (i > 0 ? "; " : "") + parts[i];
  return line;
}

}  // namespace

TStatusLines StatusLinesOf(const TQuorvin& q, bool shortNames, const std::optional<TJobProgress>* progress,
                           const TBackupOutcomes* outcomes) {
  const TStyle style{shortNames, q.Language()};
  const std::optional<TPlanStatus> elsewhere = PlanStatusElsewhere(q);
  std::string job = JobLine(q, style, progress);
  // The job of the program that runs the plan, while this one runs none.
  if (job.empty() && elsewhere) job = elsewhere->JobIn(q.Language());
  if (outcomes == nullptr)
    return {job, {}, WaitingLine(q, style), NextLine(q, style, elsewhere), LastLine(q, style, elsewhere)};
  return {job, FailuresLine(*outcomes, style), WaitingLine(q, style), NextLine(q, style, elsewhere),
          NewestLine(q, *outcomes, style, elsewhere)};
}

std::string JobStatusLine(const TQuorvin& q, TLanguage language) { return JobLine(q, {false, language}, nullptr); }

bool NeedsAttention(const TQuorvin& q, const TBackupOutcomes& outcomes) {
  if (outcomes.AnyUnseenFailure()) return true;
  const std::optional<TPlanStatus> elsewhere = PlanStatusElsewhere(q);
  const std::vector<TPlanEntry> entries = PlanDatabases(q);
  return std::any_of(entries.begin(), entries.end(), [&](const TPlanEntry& entry) {
    return !CurrentWarning(q, elsewhere, entry, outcomes.Of(entry.DataBase)).empty();
  });
}

std::string JoinStatusLines(const TStatusLines& lines, const std::string& separator) {
  std::string joined;
  for (const std::string* line :
       {&lines.Job, &lines.Failures, &lines.Waiting, &lines.NextPlanBackup, &lines.LastPlanBackup}) {
    if (line->empty()) continue;
    if (!joined.empty()) joined += separator;
    joined += *line;
  }
  return joined;
}
