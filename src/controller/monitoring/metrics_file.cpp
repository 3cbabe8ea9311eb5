#include "controller/monitoring/metrics_file.h"

#include <cerrno>
#include <cstring>

#include "controller/history/job_history.h"
#include "controller/monitoring/metrics_text.h"
#include "controller/quorvin.h"
#include "platform/files.h"

TMetricsFile::TMetricsFile(const std::string& folder) : FPath(IncludeTrailingPathDelimiter(folder) + MetricsFileName) {}

std::string TMetricsFile::Update(const TQuorvin& q, bool planRunning) {
  const std::vector<TEntryHealth> entries = PlanHealthOf(q.PlanEntries(), ReadHistory(q.HistoryPath()), ReadClock());
  const std::string text = MetricsText(entries, planRunning);
  if (text == FWritten) return {};
  if (!WriteFileAtomically(FPath, text, 0644))
    return "cannot write the metrics file " + FPath + ": " + std::strerror(errno);
  FWritten = text;
  return {};
}
