// history: what the history says, read only (no operation log is started,
// the settings file is not written).

#include <algorithm>
#include <cstdio>

#include "cli/cli_core.h"
#include "cli/commands.h"
#include "controller/history/job_history.h"
#include "controller/messages/messages.h"
#include "controller/plan_editor/plan_editor.h"

namespace {

void Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace

int HistoryCommand(const TCliOptions& options, const TConsole& console) {
  TCliCore cli(options, console, false);
  std::vector<THistoryRecord> records = ReadHistory(cli.Core().HistoryPath());
  std::reverse(records.begin(), records.end());
  const std::string database = options.Arguments.empty() ? std::string() : options.Arguments[0];
  std::size_t shown = 0;
  for (const THistoryRecord& record : records) {
    if (!database.empty() && !SameDatabase(record.Database, database)) continue;
    if (options.Limit && shown >= *options.Limit) break;
    ++shown;
    if (options.Json) {
      Print(HistoryLine(record));
      continue;
    }
    char head[160];
    std::snprintf(head, sizeof head, "%-25s %-7s %-4s %-7s ", record.Start.c_str(), record.Kind.c_str(),
                  record.By.c_str(), record.Outcome.c_str());
    std::string line = head + record.Database + " " + record.File;
    if (record.Size) line += " (" + std::to_string(*record.Size) + " bytes)";
    if (!record.ProtectedUntil.empty()) line += " locked until " + record.ProtectedUntil;
    if (!record.Succeeded() && !record.Reason.empty()) line += " — " + ShownReason(record.Reason, TLanguage::English);
    Print(line);
  }
  return 0;
}
