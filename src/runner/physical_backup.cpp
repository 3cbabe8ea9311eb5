#include "runner/physical_backup.h"

#include <cstdlib>
#include <exception>
#include <memory>

#include "platform/text.h"
#include "runner/job_requests.h"
#include "runner/log_pane.h"
#include "service/database_drop.h"
#include "service/nbackup_services.h"

namespace {

constexpr std::string_view LineBlanks = " \t\r\n";

std::string ServerOrThis(const std::string& serverName) {
  return serverName.empty() ? LocalComputerName() : serverName;
}

}  // namespace

void ReadPhysicalStateLine(const std::string& line, TPhysicalState& state) {
  const std::string text = Trim(line, LineBlanks);
  if (StartsWith(text, "Attributes")) {
    state.Attributes = Trim(text.substr(10), LineBlanks);
    state.ReadOnly = state.Attributes.find("read only") != std::string::npos;
    state.BackupMode = state.Attributes.find("backup lock") != std::string::npos ||
                       state.Attributes.find("backup merge") != std::string::npos;
  }
  const std::string guid = "Database backup GUID:";
  if (StartsWith(text, guid)) state.BackupGuid = Trim(text.substr(guid.size()), LineBlanks);
}

TPhysicalState ReadPhysicalState(const std::string& serverName, const std::string& localPath, TProtocol protocol,
                                 const std::string& userName, const std::string& password) {
  TPhysicalState state;
  try {
    auto service = std::make_unique<TIBHeaderStatsService>();
    PrepareRequest(*service, ServerOrThis(serverName), protocol, userName, password);
    service->DatabaseName = localPath;
    service->SetActive(true);
    state.ServerVersion = QueryServerVersion(*service);
    state.ServiceOffered = ParseServerVersion(state.ServerVersion).AtLeast(2, 5);
    service->ServiceStart();
    while (!service->OutputEnded()) ReadPhysicalStateLine(service->NextOutputLine(), state);
    ReleaseRequest(*service);
    state.Known = true;
  } catch (const std::exception& error) {
    state.Error = error.what();
  }
  return state;
}

void EndPhysicalBackupMode(const std::string& serverName, const std::string& localPath, TProtocol protocol,
                           const std::string& userName, const std::string& password) {
  ExecuteServerStatement(ServerOrThis(serverName), localPath, protocol, userName, password,
                         "ALTER DATABASE END BACKUP");
}

std::vector<TEngineBackup> ReadEngineBackups(const std::string& serverName, const std::string& localPath,
                                             TProtocol protocol, const std::string& userName,
                                             const std::string& password) {
  const std::vector<TQueryRow> rows = QueryServerRows(
      ServerOrThis(serverName), localPath, protocol, userName, password,
      "SELECT RDB$BACKUP_LEVEL, RDB$GUID, RDB$FILE_NAME FROM RDB$BACKUP_HISTORY ORDER BY RDB$BACKUP_ID");
  std::vector<TEngineBackup> backups;
  for (const TQueryRow& row : rows) {
    if (row.size() != 3 || !row[0] || !row[1]) continue;
    backups.push_back({std::atoi(row[0]->c_str()), Trim(*row[1], LineBlanks), Trim(row[2].value_or(""), LineBlanks)});
  }
  return backups;
}

bool ServerAnswers(const std::string& serverName, TProtocol protocol, const std::string& userName,
                   const std::string& password) {
  try {
    TIBControlAndQueryService probe;
    PrepareRequest(probe, ServerOrThis(serverName), protocol, userName, password);
    probe.SetActive(true);
    ReleaseRequest(probe);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}
