#include "runner/database_control.h"

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/share_path.h"
#include "runner/job_output.h"
#include "runner/job_paths.h"
#include "runner/job_requests.h"
#include "runner/log_pane.h"
#include "service/config_service.h"
#include "service/ib_errors.h"

namespace {

// The server's answer to bringing on line a database that is on line
// already (isc_bad_shutdown_mode, "Target shutdown mode is invalid for
// database"): every restore ends that way, since the new database is created
// on line.
constexpr int32_t AlreadyOnline = 335544835;

TShareProbe InstalledShareProbe = nullptr;

bool DatabaseReachable(const std::string& serverName, const std::string& localPath) {
  const std::string sharePath = DatabaseSharePath(serverName, localPath);
  return InstalledShareProbe ? InstalledShareProbe(sharePath) : SharePathFileExists(sharePath);
}

// The database a step works on, and how the server is reached.
struct TDatabaseTarget {
  const std::string& ServerName;
  const std::string& LocalPath;
  const std::string& UserName;
  const std::string& Password;
  TProtocol Protocol;
  TJobOutput& Output;
};

// The pane texts of a step: the file cannot be reached (the step is skipped),
// the step starts (+ the file name), the step is done.
struct TDatabaseStep {
  const char* Unreachable;
  const char* Starting;
  const char* Done;
};

// Error codes with which the client library says that the server did not
// answer (nothing listening, the connection refused, cut or lost): a server
// whose guardian is restarting it after a crash answers like that for a few
// seconds.
bool ServerDidNotAnswer(const std::exception& error) {
  const auto* library = dynamic_cast<const EIBInterBaseError*>(&error);
  if (library == nullptr) return false;
  constexpr std::int32_t NotAnswering[] = {
      335544421,  // isc_connect_reject: a server going down or coming up
      335544648,  // isc_conn_lost
      335544721,  // isc_network_error
      335544722,  // isc_net_connect_err
      335544723,  // isc_net_connect_listen_err
      335544726,  // isc_net_read_err
      335544727,  // isc_net_write_err
      335544741,  // isc_lost_db_connection
  };
  for (const std::int32_t code : NotAnswering)
    if (library->LibraryErrorCode == code) return true;
  return false;
}

// About a second between two attempts.
void PauseBeforeNextAttempt() { std::this_thread::sleep_for(std::chrono::seconds(1)); }

// The server's answer to a request on a database name under which it still
// has another database open, shut down: the restore of an interrupted job
// that the server carries on after its client has gone.
bool ServerStillBusyWithTheName(const std::exception& error) {
  const auto* library = dynamic_cast<const EIBInterBaseError*>(&error);
  return library != nullptr && library->LibraryErrorCode == 335544528;  // isc_shutdown
}

// What a step tries again, and how the pane says so; an empty text for an
// error that is final.
using TRetryReason = std::function<std::string(const std::exception&)>;

std::string ServerSilent(const std::exception& error) {
  return ServerDidNotAnswer(error) ? "The server does not answer (" + std::string(error.what()) + ")" : "";
}

std::string ServerSilentOrBusy(const std::exception& error) {
  if (ServerStillBusyWithTheName(error)) {
    return "The server still has another database open under this name (" + std::string(error.what()) + ")";
  }
  return ServerSilent(error);
}

// Attaches and sends; with `patience`, again and again for that long while
// `retryReason` gives a reason, saying so on the pane. Other errors, and the
// last one, are raised.
void AttachAndSend(TIBConfigService& service, const std::function<void(TIBConfigService&)>& send,
                   std::chrono::seconds patience, const TRetryReason& retryReason, TJobOutput& output) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (int attempt = 1;; ++attempt) {
    try {
      service.SetActive(true);
      send(service);
      if (attempt > 1) output.AddPaneLine("The server answers again (attempt " + std::to_string(attempt) + ")");
      return;
    } catch (const std::exception& error) {
      const std::string reason = retryReason ? retryReason(error) : std::string();
      if (reason.empty() || std::chrono::steady_clock::now() >= deadline) throw;
      if (attempt == 1) {
        output.AddPaneLine(reason + "; trying again for up to " + std::to_string(patience.count()) + " seconds");
      }
      ReleaseRequest(service);
      PauseBeforeNextAttempt();
    }
  }
}

// How a step goes about its request and its errors: `Send` sends the
// request once attached; `NothingToDo` says of an error that the step had
// nothing to do; `Patience` is how long the step is tried again for an error
// that `RetryReason` gives a reason for; `ReportFailure`, when set, shows the
// error of a failed step on the job's output (before the request is
// released).
struct TStepManner {
  std::function<void(TIBConfigService&)> Send;
  std::function<bool(const std::exception&)> NothingToDo;
  std::chrono::seconds Patience;
  TRetryReason RetryReason;
  std::function<void(const std::string& error, TJobOutput& output)> ReportFailure;
};

// Runs one step and tells how it went. The request goes to this computer
// when the path names no server.
TStepResult RunDatabaseStep(const TDatabaseStep& step, const TDatabaseTarget& target, const TStepManner& manner) {
  if (!DatabaseReachable(target.ServerName, target.LocalPath)) {
    target.Output.AddPaneLine(step.Unreachable);
    return {TStepOutcome::Skipped, {}};
  }
  auto service = std::make_unique<TIBConfigService>();
  target.Output.AddPaneLine(step.Starting + LastPathComponent(target.LocalPath));
  TStepResult result{TStepOutcome::Done, {}};
  try {
    const std::string server = target.ServerName.empty() ? LocalComputerName() : target.ServerName;
    PrepareRequest(*service, server, target.Protocol, target.UserName, target.Password);
    service->DatabaseName = target.LocalPath;
    AttachAndSend(*service, manner.Send, manner.Patience, manner.RetryReason, target.Output);
  } catch (const std::exception& error) {
    if (!manner.NothingToDo(error)) {
      result = {TStepOutcome::Failed, error.what()};
      if (manner.ReportFailure) manner.ReportFailure(result.Error, target.Output);
    }
  }
  ReleaseRequest(*service);
  if (result.Outcome == TStepOutcome::Done) target.Output.AddPaneLine(step.Done);
  return result;
}

const TDatabaseStep StartStep{"Error starting database", "Starting database: ", "Database startup complete"};

// A failed restart says what an unreachable one says; the error's own text
// is not shown.
void ReportStartFailure(const std::string&, TJobOutput& output) {
  output.ShowJobMessage(StartStep.Unreachable);
  output.AddPaneLine(StartStep.Unreachable);
}

TStepResult RunStartStep(const TDatabaseTarget& target, const TRetryReason& retryReason,
                         const std::function<void(const std::string&, TJobOutput&)>& report) {
  const TStepManner start{[](TIBConfigService& service) { service.RequestOnline(); },
                          [](const std::exception& error) {
                            const auto* refused = dynamic_cast<const EIBInterBaseError*>(&error);
                            return refused && refused->LibraryErrorCode == AlreadyOnline;
                          },
                          RestartPatience, retryReason, report};
  return RunDatabaseStep(StartStep, target, start);
}

}  // namespace

void SetShareProbe(TShareProbe probe) { InstalledShareProbe = probe; }

bool DatabaseFileReachable(const std::string& serverName, const std::string& localPath) {
  return DatabaseReachable(serverName, localPath);
}

std::string DatabaseSharePath(const std::string& serverName, const std::string& localPath) {
  const std::size_t colon = localPath.find(':');
  const std::string drive = colon == std::string::npos ? std::string() : localPath.substr(0, colon);
  const std::string rest = colon == std::string::npos ? localPath : localPath.substr(colon + 1);
  return "\\\\" + serverName + "\\" + drive + "\\" + rest;
}

bool StopServerDatabase(const std::string& serverName, const std::string& localPath, const std::string& userName,
                        const std::string& password, TProtocol protocol, TJobOutput& output) {
  const TDatabaseStep stop{"Error stopping database", "Stopping database: ", "Database shutdown complete"};
  const TStepManner shutdown{
      [](TIBConfigService& service) { service.RequestShutdown(ShutdownMode::ShutdownForced, 10); },
      [](const std::exception&) { return false; }, std::chrono::seconds(0), nullptr,
      [](const std::string& error, TJobOutput& out) {
        const std::string text = "Error shutting down database: " + error;
        out.ShowJobMessage(text);
        out.AddPaneLine(text);
      }};
  return RunDatabaseStep(stop, {serverName, localPath, userName, password, protocol, output}, shutdown).Outcome !=
         TStepOutcome::Failed;
}

bool StartServerDatabase(const std::string& serverName, const std::string& localPath, const std::string& userName,
                         const std::string& password, TProtocol protocol, TJobOutput& output) {
  return RunStartStep({serverName, localPath, userName, password, protocol, output}, &ServerSilent, &ReportStartFailure)
             .Outcome != TStepOutcome::Failed;
}

TStepResult BringDatabaseOnline(const std::string& serverName, const std::string& localPath,
                                const std::string& userName, const std::string& password, TProtocol protocol,
                                TJobOutput& output) {
  return RunStartStep({serverName, localPath, userName, password, protocol, output}, &ServerSilentOrBusy, nullptr);
}
