// status: who runs the plan and how each database of it is doing, with the
// exit status and first line of a monitoring plugin (0 OK, 1 WARNING,
// 2 CRITICAL, 3 UNKNOWN); read only (no operation log is started, the
// settings file is not written).

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "cli/cli_core.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "controller/history/job_history.h"
#include "controller/messages/messages.h"
#include "controller/monitoring/plan_health.h"
#include "controller/plan_editor/plan_editor.h"
#include "controller/plan_status/plan_status.h"
#include "controller/status_texts.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/iso_time.h"

namespace {

using TJson = nlohmann::ordered_json;

void Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

// Who runs the plan, as status tells it.
struct TRunner {
  std::string Holder;   // what its lock says, in English; empty: nobody runs the plan
  std::string Program;  // "quorvinctl", the window's name
  std::optional<TPlanStatus> Status;

  // "quorvinctl (pid 5747 on vm)".
  std::string Text() const {
    if (Holder.empty()) return {};
    if (!Status || Status->Pid == 0) return Program;
    return Program + " (pid " + std::to_string(Status->Pid) + " on " + Status->Host + ")";
  }
};

// Why the plan's lock cannot tell whether the plan runs; empty when it can.
// A lock, or a state folder, that is not there tells: nothing runs the plan
// (whatever ran it would have made them).
std::string LockUnreadable(const std::string& path) {
  if (access(path.c_str(), R_OK | W_OK) == 0 || errno == ENOENT) return {};
  return "cannot open the plan's lock " + path + ": " + std::strerror(errno) +
         " (run status as the user that runs the plan)";
}

TRunner RunnerOf(const TQuorvin& q) {
  TRunner runner;
  // A lock not there yet is not made by a look.
  if (!FileExists(q.PlanLockPath()) || q.PlanRunElsewhere().empty()) return runner;
  const std::string stored = TFileLock::Holder(q.PlanLockPath());
  runner.Holder = ShownHolder(stored, TLanguage::English);
  runner.Program = stored.empty() ? runner.Holder : stored.substr(0, stored.find(", "));
  runner.Status = PlanStatusElsewhere(q);
  return runner;
}

std::optional<TDateTime> NextOf(const TRunner& runner, const std::string& database) {
  if (!runner.Status) return std::nullopt;
  for (const TNextBackup& backup : runner.Status->Next)
    if (backup.DataBase == database) return backup.When;
  return std::nullopt;
}

TJson Optional(const std::optional<std::int64_t>& value) { return value ? TJson(*value) : TJson(nullptr); }

TJson RecordJson(const std::optional<THistoryRecord>& record) {
  if (!record) return nullptr;
  return TJson::parse(HistoryLine(*record), nullptr, false);
}

TJson EntryJson(const TEntryHealth& entry, const TRunner& runner) {
  const std::optional<TDateTime> next = NextOf(runner, entry.Database);
  return {{"entry", entry.Number},
          {"database", entry.Database},
          {"state", HealthWord(entry.Health)},
          {"reason", entry.Reason},
          {"next", next ? TJson(FormatIso8601(*next)) : TJson(nullptr)},
          {"last", RecordJson(entry.Last)},
          {"last_success", RecordJson(entry.LastSuccess)},
          {"failures", entry.Failures},
          {"age_seconds", Optional(entry.Age)},
          {"longest_gap_seconds", Optional(entry.LongestGap)},
          {"warning_after_seconds", Optional(entry.WarningAfter)},
          {"critical_after_seconds", Optional(entry.CriticalAfter)}};
}

void PrintJson(TCliCore& cli, const TRunner& runner, const TPlanHealth& health,
               const std::vector<TEntryHealth>& entries) {
  TJson databases = TJson::array();
  for (const TEntryHealth& entry : entries) databases.push_back(EntryJson(entry, runner));
  const bool status = runner.Status.has_value();
  const TJson plan = {{"running", !runner.Holder.empty()},
                      {"holder", runner.Holder},
                      {"program", runner.Program},
                      {"pid", status && runner.Status->Pid != 0 ? TJson(runner.Status->Pid) : TJson(nullptr)},
                      {"host", status && !runner.Status->Host.empty() ? TJson(runner.Status->Host) : TJson(nullptr)},
                      {"since", status && !runner.Status->Since.empty() ? TJson(runner.Status->Since) : TJson(nullptr)},
                      {"job", status ? runner.Status->JobIn(TLanguage::English) : std::string()}};
  const TJson json = {{"state", HealthWord(health.Health)},
                      {"exit_code", static_cast<int>(health.Health)},
                      {"summary", health.Summary},
                      {"checked", FormatIso8601(Now())},
                      {"settings", cli.SettingsFile()},
                      {"settings_exist", cli.SettingsExist()},
                      {"plan", plan},
                      {"plan_running", !runner.Holder.empty()},
                      {"plan_holder", runner.Holder},
                      {"databases", databases}};
  Print(json.dump(-1, ' ', false, TJson::error_handler_t::replace));
}

void PrintText(TCliCore& cli, const TRunner& runner, const TPlanHealth& health,
               const std::vector<TEntryHealth>& entries) {
  Print(health.Summary);
  Print("Settings: " + cli.SettingsFile() + (cli.SettingsExist() ? "" : " (missing)"));
  Print("Plan: " + (runner.Holder.empty() ? std::string("not running") : "run by " + runner.Text()) +
        (runner.Status && !runner.Status->Since.empty() ? " since " + runner.Status->Since : std::string()));
  if (runner.Status && !runner.Status->JobIn(TLanguage::English).empty())
    Print("Job: " + runner.Status->JobIn(TLanguage::English));
  for (const TEntryHealth& entry : entries) {
    Print(std::to_string(entry.Number) + "  " + entry.Database + ": " + HealthWord(entry.Health) + ", " + entry.Reason);
    if (const std::optional<TDateTime> next = NextOf(runner, entry.Database))
      Print("   next backup: " + FormatIso8601(*next));
    if (entry.LastSuccess)
      Print("   last success: " + entry.LastSuccess->End + " " + entry.LastSuccess->File +
            (entry.LastSuccess->Size ? " (" + std::to_string(*entry.LastSuccess->Size) + " bytes)" : std::string()));
  }
}

int Unknown(const TCliOptions& options, const std::string& reason) {
  const std::string summary = std::string("QUORVIN ") + HealthWord(THealth::Unknown) + " - " + reason;
  if (options.Json)
    Print(TJson({{"state", HealthWord(THealth::Unknown)}, {"exit_code", ExitUnknown}, {"summary", summary}}).dump());
  else
    Print(summary);
  return ExitUnknown;
}

}  // namespace

int StatusCommand(const TCliOptions& options, const TConsole& console) {
  TCliCore cli(options, console, false);
  TQuorvin& q = cli.Core();
  if (!q.SettingsFault().empty()) return Unknown(options, q.SettingsFault());
  if (const std::string fault = LockUnreadable(q.PlanLockPath()); !fault.empty()) return Unknown(options, fault);
  const TRunner runner = RunnerOf(q);
  const std::vector<TEntryHealth> entries = PlanHealthOf(q.PlanEntries(), ReadHistory(q.HistoryPath()), ReadClock());
  const TPlanHealth health = OverallHealth(entries, runner.Text());
  if (options.Json)
    PrintJson(cli, runner, health, entries);
  else
    PrintText(cli, runner, health, entries);
  return static_cast<int>(health.Health);
}
