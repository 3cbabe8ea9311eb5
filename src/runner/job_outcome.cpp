#include "runner/job_outcome.h"

#include <exception>
#include <memory>

#include "platform/text.h"
#include "runner/job_requests.h"
#include "runner/log_pane.h"
#include "service/backup_restore_services.h"

namespace {

// Header statistics of one database (what "gstat -h" prints), through the
// service manager.
namespace stats {
constexpr uint8_t action_svc_db_stats = 11;
constexpr int32_t sts_hdr_pages = 0x04;
}  // namespace stats

class THeaderStatsService : public TIBControlAndQueryService {
 public:
  std::string DatabaseName;

  void BuildStartRequest() override {
    FRequestAction = stats::action_svc_db_stats;
    FOutputEnded = false;
    StartRequest = std::string(1, static_cast<char>(stats::action_svc_db_stats));
    AddStartText(DatabaseName, spb::dbname);
    AddStartNumber(stats::sts_hdr_pages, spb::options);
  }
};

// Blanks around an output line.
constexpr std::string_view LineBlanks = " \t\r\n";

}  // namespace

std::string FailureReportedBy(const std::string& outputLine) {
  const std::string line = Trim(outputLine, LineBlanks);
  // gbak prefixes its lines with "gbak:" (its error lines with "gbak: ");
  // what follows the prefix decides, so a table or column name in a verbose
  // line can never look like a failure.
  std::string text = line;
  if (StartsWith(text, "gbak:")) text = TrimLeft(text.substr(5), LineBlanks);
  for (const char* marker :
       {"ERROR:", "ERROR ", "Done with volume #", "Backup incomplete", "Exiting before completion due to errors"}) {
    if (StartsWith(text, marker)) return line;
  }
  return {};
}

std::string ShutdownAttributesOf(const std::string& statsLine) {
  const std::string line = TrimLeft(statsLine, LineBlanks);
  if (!StartsWith(line, "Attributes")) return {};
  const std::string attributes = Trim(line.substr(10), LineBlanks);
  for (const char* mode : {"shutdown", "maintenance"})
    if (attributes.find(mode) != std::string::npos) return attributes;
  return {};
}

std::string ShutdownStateOf(const std::string& serverName, const std::string& localPath, TProtocol protocol,
                            const std::string& userName, const std::string& password) {
  // The state is unknown: the request's own outcome stands.
  return ReadShutdownState(serverName, localPath, protocol, userName, password).value_or(std::string());
}

std::optional<std::string> ReadShutdownState(const std::string& serverName, const std::string& localPath,
                                             TProtocol protocol, const std::string& userName,
                                             const std::string& password) {
  std::string state;
  try {
    auto service = std::make_unique<THeaderStatsService>();
    PrepareRequest(*service, serverName.empty() ? LocalComputerName() : serverName, protocol, userName, password);
    service->DatabaseName = localPath;
    service->SetActive(true);
    service->ServiceStart();
    while (!service->OutputEnded()) {
      const std::string attributes = ShutdownAttributesOf(service->NextOutputLine());
      if (!attributes.empty() && state.empty()) state = attributes;
    }
    ReleaseRequest(*service);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return state;
}
