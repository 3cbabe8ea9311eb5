// status and history: what the plan and the history say, read only (no
// operation log is started, the settings file is not written).

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli/cli_core.h"
#include "cli/commands.h"
#include "controller/history/job_history.h"
#include "controller/plan_status/plan_status.h"
#include "controller/status_texts.h"
#include "platform/date_time.h"
#include "platform/iso_time.h"

namespace {

using TJson = nlohmann::ordered_json;

void Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

std::string Normal(const std::string& path) {
  if (path.empty() || path.rfind("\\\\", 0) == 0) return path;
  return std::filesystem::absolute(path).lexically_normal().string();
}

// The last backup of `database` the history holds, by the plan or by hand.
const THistoryRecord* LastBackupOf(const std::vector<THistoryRecord>& records, const std::string& database) {
  const std::string wanted = Normal(database);
  for (auto it = records.rbegin(); it != records.rend(); ++it)
    if (it->Kind == HistoryKindBackup && Normal(it->Database) == wanted) return &*it;
  return nullptr;
}

// One database of the plan, as status shows it.
struct TDatabaseState {
  std::string Database;
  std::optional<TDateTime> Next;
  const THistoryRecord* Last = nullptr;
};

std::vector<TDatabaseState> DatabaseStates(TQuorvin& q, const std::vector<THistoryRecord>& records,
                                           const std::optional<TPlanStatus>& elsewhere, bool planRuns) {
  // The runner of the plan says when its backups come; the rules say the same
  // when it writes nothing.
  const std::vector<TNextBackup> next = elsewhere ? elsewhere->Next : q.NextPlanBackups();
  std::vector<TDatabaseState> states;
  for (const TPlanEntry& entry : q.PlanEntries()) {
    TDatabaseState state{entry.DataBase, std::nullopt, LastBackupOf(records, entry.DataBase)};
    for (const TNextBackup& backup : next)
      if (planRuns && backup.DataBase == entry.DataBase && !state.Next) state.Next = backup.When;
    states.push_back(state);
  }
  return states;
}

std::string LastText(const THistoryRecord& record) {
  std::string text = record.End + " " + record.Outcome + " (" + record.By + ")";
  return text + (record.Succeeded() ? " " + record.File : ": " + record.Reason);
}

int PrintStatusJson(TCliCore& cli, const std::string& holder, const TStatusLines& lines,
                    const std::vector<TDatabaseState>& states) {
  TJson databases = TJson::array();
  for (const TDatabaseState& state : states) {
    TJson item = {{"database", state.Database}, {"next", nullptr}, {"last", nullptr}};
    if (state.Next) item["next"] = FormatIso8601(*state.Next);
    if (state.Last) item["last"] = TJson::parse(HistoryLine(*state.Last), nullptr, false);
    databases.push_back(item);
  }
  const TJson status = {{"settings", cli.SettingsFile()},
                        {"settings_exist", cli.SettingsExist()},
                        {"plan_running", !holder.empty()},
                        {"plan_holder", holder},
                        {"job", lines.Job},
                        {"databases", databases}};
  Print(status.dump(-1, ' ', false, TJson::error_handler_t::replace));
  return 0;
}

}  // namespace

int StatusCommand(const TCliOptions& options, const TConsole& console) {
  TCliCore cli(options, console, false);
  cli.RequireReadSettings();
  TQuorvin& q = cli.Core();
  const std::string holder = q.PlanRunElsewhere();
  const std::optional<TPlanStatus> elsewhere = PlanStatusElsewhere(q);
  const TStatusLines lines = StatusLinesOf(q, false);
  const std::vector<THistoryRecord> records = ReadHistory(q.HistoryPath());
  const std::vector<TDatabaseState> states = DatabaseStates(q, records, elsewhere, !holder.empty());
  if (options.Json) return PrintStatusJson(cli, holder, lines, states);

  Print("Settings: " + cli.SettingsFile() + (cli.SettingsExist() ? "" : " (missing)"));
  Print("Plan: " + (holder.empty() ? std::string("not running") : "run by " + holder));
  for (const std::string* line : {&lines.Job, &lines.Waiting, &lines.LastPlanBackup})
    if (!line->empty()) Print(*line);
  for (const TDatabaseState& state : states) {
    Print(state.Database.empty() ? std::string("(no database)") : state.Database);
    if (!holder.empty())
      Print("  next backup: " +
            (state.Next ? FormatDateTime("dd.mm.yyyy hh:nn", *state.Next) : std::string("none within 8 days")));
    Print("  last backup: " + (state.Last ? LastText(*state.Last) : std::string("none in the history")));
  }
  return 0;
}

int HistoryCommand(const TCliOptions& options, const TConsole& console) {
  TCliCore cli(options, console, false);
  std::vector<THistoryRecord> records = ReadHistory(cli.Core().HistoryPath());
  std::reverse(records.begin(), records.end());
  const std::string database = options.Arguments.empty() ? std::string() : Normal(options.Arguments[0]);
  std::size_t shown = 0;
  for (const THistoryRecord& record : records) {
    if (!database.empty() && Normal(record.Database) != database) continue;
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
    if (!record.Succeeded() && !record.Reason.empty()) line += " — " + record.Reason;
    Print(line);
  }
  return 0;
}
