#include "controller/hooks/plan_hooks.h"

#include <chrono>
#include <exception>
#include <thread>

#include "controller/log/operation_log.h"
#include "controller/settings/settings.h"
#include "platform/child_process.h"
#include "platform/exception.h"
#include "platform/iso_time.h"
#include "runner/job_stop.h"
#include "runner/ui_seams.h"

namespace {

constexpr int DefaultTimeLimitSeconds = 60;
// A chatty command fills the log no further than this.
constexpr int MostLoggedLines = 200;
constexpr auto ReadTurn = std::chrono::milliseconds(100);

std::string Joined(const std::vector<std::string>& texts, const std::string& separator) {
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "" : separator) + text;
  return joined;
}

// The command's output, one log line per line of it.
class THookLines {
 public:
  explicit THookLines(TOperationLog& log) : FLog(log) {}
  void Take(std::string& pending, bool all) {
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
      Add(pending.substr(0, end));
    if (all && !pending.empty()) Add(pending);
    if (all) pending.clear();
  }
  ~THookLines() {
    if (FDropped > 0) FLog.Stamped(" Команда: ещё строк вывода не записано: " + std::to_string(FDropped));
  }

 private:
  void Add(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (FLogged++ < MostLoggedLines)
      FLog.Stamped(" Команда: " + line);
    else
      ++FDropped;
  }
  TOperationLog& FLog;
  int FLogged = 0;
  int FDropped = 0;
};

// Why the command ended as it did, for the log.
std::string EndText(int exitCode) {
  if (exitCode == 0) return " Команда после копии завершена успешно.";
  if (exitCode < 0) return " Команда после копии завершена сигналом " + std::to_string(-exitCode) + ".";
  return " Команда после копии завершилась с ошибкой, код " + std::to_string(exitCode) + ".";
}

// Waits for the command to end, `limit` at most; false when it had to be
// killed (the reason logged). It has ended once its output is closed and
// nothing of its process group runs: a command that closes its output and
// runs on (`exec >/dev/null; sleep 600`), or leaves something running in the
// background, is still running, and the limit and a stop reach it.
bool AwaitCommand(TChildProcess& child, std::chrono::seconds limit, TOperationLog& log, const TJobStop* stop) {
  THookLines lines(log);
  std::string pending;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool writing = true;
  while (writing || !child.GroupEnded()) {
    if (writing)
      writing = child.ReadOutput(pending, ReadTurn);
    else
      std::this_thread::sleep_for(ReadTurn);
    lines.Take(pending, false);
    const bool stopped = stop != nullptr && stop->Requested();
    if (!stopped && std::chrono::steady_clock::now() < deadline) continue;
    child.KillGroup();
    lines.Take(pending, true);
    log.Stamped(stopped ? " Команда после копии прервана: программа завершает работу."
                        : " Команда после копии прервана: не завершилась за " + std::to_string(limit.count()) + " с.");
    return false;
  }
  lines.Take(pending, true);
  return true;
}

}  // namespace

std::vector<std::string> HookEnvironment(const TJobReport& report, const std::string& logFile) {
  const bool offsite = report.What == TJobReport::TWhat::OffsiteCopy;
  const char* event = offsite ? (report.Succeeded ? "offsite-succeeded" : "offsite-failed")
                              : (report.Succeeded ? "backup-succeeded" : "backup-failed");
  return {
      std::string("QUORVIN_EVENT=") + event,
      std::string("QUORVIN_OUTCOME=") + (report.Succeeded ? "success" : "failure"),
      "QUORVIN_DATABASE=" + report.Database,
      "QUORVIN_BACKUP_FILE=" + report.Target,
      "QUORVIN_REASON=" + report.Reason,
      "QUORVIN_WARNINGS=" + Joined(report.Warnings, "; "),
      "QUORVIN_ENDED=" + (report.Ended > 0 ? FormatIso8601(report.Ended) : std::string()),
      "QUORVIN_LOG=" + logFile,
  };
}

void RunPlanHook(const TSettings& settings, const TJobReport& report, TOperationLog& log, const TJobStop* stop) {
  const std::string& command = report.Succeeded ? settings.OnSuccess : settings.OnFailure;
  if (command.empty()) return;
  const std::chrono::seconds limit(settings.TimeLimit > 0 ? settings.TimeLimit : DefaultTimeLimitSeconds);
  log.Stamped(" Команда после копии: " + command);
  try {
    TChildProcess child("/bin/sh", {"-c", command}, "", HookEnvironment(report, log.LogFileName()));
    const bool ended = AwaitCommand(child, limit, log, stop);
    const int exitCode = child.Wait();
    if (ended) log.Stamped(EndText(exitCode));
  } catch (const std::exception& error) {
    log.Stamped(" Команда после копии не запущена: " + MessageOf(error));
  }
}
