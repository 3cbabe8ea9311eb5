#include "runner/database_control.h"

#include <exception>
#include <functional>
#include <memory>

#include "platform/share_path.h"
#include "runner/job_notices.h"
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
  uint8_t Protocol;
};

// The pane texts of a step: the file cannot be reached (the step is skipped),
// the step starts (+ the file name), the step is done.
struct TDatabaseStep {
  const char* Unreachable;
  const char* Starting;
  const char* Done;
};

// Runs one step: `send` sends its request once attached; `failureText` gives
// the text that reports an error of the step (box and pane line), or an
// empty text for an error that means the step has nothing to do. The request
// goes to this computer when the path names no server.
bool RunDatabaseStep(const TDatabaseStep& step, const TDatabaseTarget& target,
                     const std::function<void(TIBConfigService&)>& send,
                     const std::function<std::string(const std::exception&)>& failureText) {
  if (!DatabaseReachable(target.ServerName, target.LocalPath)) {
    AddPaneLine(step.Unreachable);
    return true;
  }
  auto service = std::make_unique<TIBConfigService>();
  AddPaneLine(step.Starting + LastPathComponent(target.LocalPath));
  bool done = false;
  try {
    const std::string server = target.ServerName.empty() ? LocalComputerName() : target.ServerName;
    PrepareRequest(*service, server, target.Protocol, target.UserName, target.Password);
    service->DatabaseName = target.LocalPath;
    service->SetActive(true);
    send(*service);
    done = true;
  } catch (const std::exception& error) {
    const std::string text = failureText(error);
    done = text.empty();
    if (!done) {
      ShowJobMessage(text);
      AddPaneLine(text);
    }
  }
  ReleaseRequest(*service);
  if (done) AddPaneLine(step.Done);
  return done;
}

}  // namespace

void SetShareProbe(TShareProbe probe) { InstalledShareProbe = probe; }

std::string DatabaseSharePath(const std::string& serverName, const std::string& localPath) {
  const std::size_t colon = localPath.find(':');
  const std::string drive = colon == std::string::npos ? std::string() : localPath.substr(0, colon);
  const std::string rest = colon == std::string::npos ? localPath : localPath.substr(colon + 1);
  return "\\\\" + serverName + "\\" + drive + "\\" + rest;
}

bool StopServerDatabase(const std::string& serverName, const std::string& localPath, const std::string& userName,
                        const std::string& password, uint8_t protocol) {
  const TDatabaseStep stop{"Error stopping database", "Stopping database: ", "Database shutdown complete"};
  return RunDatabaseStep(
      stop, {serverName, localPath, userName, password, protocol},
      [](TIBConfigService& service) { service.RequestShutdown(ShutdownMode::ShutdownForced, 10); },
      [](const std::exception& error) { return std::string("Error shutting down database: ") + error.what(); });
}

bool StartServerDatabase(const std::string& serverName, const std::string& localPath, const std::string& userName,
                         const std::string& password, uint8_t protocol) {
  const TDatabaseStep start{"Error starting database", "Starting database: ", "Database startup complete"};
  return RunDatabaseStep(
      start, {serverName, localPath, userName, password, protocol},
      [](TIBConfigService& service) { service.RequestOnline(); },
      [](const std::exception& error) {
        const auto* refused = dynamic_cast<const EIBInterBaseError*>(&error);
        return refused && refused->LibraryErrorCode == AlreadyOnline ? std::string() : "Error starting database";
      });
}
