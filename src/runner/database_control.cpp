#include "runner/database_control.h"

#include <exception>
#include <memory>

#include "platform/share_path.h"
#include "runner/job_paths.h"
#include "runner/log_pane.h"
#include "runner/ui_seams.h"
#include "service/config_service.h"
#include "service/ib_errors.h"

namespace {

// The server's answer to bringing on line a database that is on line
// already (isc_bad_shutdown_mode, "Target shutdown mode is invalid for
// database"): every restore ends that way, since the new database is created
// on line.
constexpr int32_t kAlreadyOnline = 335544835;

TShareProbe shareProbe = nullptr;

bool DatabaseReachable(const std::string& serverName, const std::string& localPath) {
  const std::string sharePath = DatabaseSharePath(serverName, localPath);
  return shareProbe ? shareProbe(sharePath) : SharePathFileExists(sharePath);
}

void AddLoginParams(TIBConfigService& service, const std::string& userName, const std::string& password) {
  service.Params().Add("User_Name=" + userName);
  service.Params().Add("Password=" + password);
}

// Detaches when attached: a request whose attach or send failed has already
// forgotten its handle, and detaching it again would only raise "service is
// not attached" over the real error.
void Release(std::unique_ptr<TIBConfigService>& service) {
  if (service->Active()) service->SetActive(false);
  service.reset();
}

}  // namespace

void SetShareProbe(TShareProbe probe) { shareProbe = probe; }

std::string DatabaseSharePath(const std::string& serverName, const std::string& localPath) {
  const std::size_t colon = localPath.find(':');
  const std::string drive = colon == std::string::npos ? std::string() : localPath.substr(0, colon);
  const std::string rest = colon == std::string::npos ? localPath : localPath.substr(colon + 1);
  return "\\\\" + serverName + "\\" + drive + "\\" + rest;
}

bool StopServerDatabase(const std::string& serverName, const std::string& localPath,
                        const std::string& userName, const std::string& password, uint8_t protocol) {
  if (!DatabaseReachable(serverName, localPath)) {
    AddPaneLine("Error stopping database");
    return true;
  }
  auto service = std::make_unique<TIBConfigService>();
  AddPaneLine("Stopping database: " + LastPathComponent(localPath));
  bool result = false;
  try {
    service->SetProtocol(static_cast<TProtocol>(protocol));
    service->Params().Clear();
    AddLoginParams(*service, userName, password);
    service->LoginPrompt = false;
    service->SetServerName(serverName.empty() ? LocalComputerName() : serverName);
    service->DatabaseName = localPath;
    service->SetActive(true);
    service->RequestShutdown(ShutdownMode::ShutdownForced, 10);
    result = true;
  } catch (const std::exception& error) {
    const std::string text = std::string("Error shutting down database: ") + error.what();
    Prompts().ShowMessage(text);
    AddPaneLine(text);
  }
  Release(service);
  if (result) AddPaneLine("Database shutdown complete");
  return result;
}

bool StartServerDatabase(const std::string& serverName, const std::string& localPath,
                         const std::string& userName, const std::string& password, uint8_t protocol) {
  if (!DatabaseReachable(serverName, localPath)) {
    AddPaneLine("Error starting database");
    return true;
  }
  auto service = std::make_unique<TIBConfigService>();
  AddPaneLine("Starting database: " + LastPathComponent(localPath));
  bool result = false;
  try {
    service->LoginPrompt = false;
    service->SetProtocol(static_cast<TProtocol>(protocol));
    AddLoginParams(*service, userName, password);
    service->SetServerName(serverName.empty() ? LocalComputerName() : serverName);
    service->DatabaseName = localPath;
    service->SetActive(true);
    service->RequestOnline();
    result = true;
  } catch (const EIBInterBaseError& error) {
    if (error.LibraryErrorCode == kAlreadyOnline) {
      result = true;
    } else {
      Prompts().ShowMessage("Error starting database");
      AddPaneLine("Error starting database");
    }
  } catch (const std::exception&) {
    const std::string text = "Error starting database";
    Prompts().ShowMessage(text);
    AddPaneLine(text);
  }
  Release(service);
  if (result) AddPaneLine("Database startup complete");
  return result;
}
