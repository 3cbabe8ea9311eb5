#include "runner/job_requests.h"

#include <optional>
#include <type_traits>

#include "platform/exception.h"
#include "platform/text.h"
#include "runner/job_options.h"
#include "runner/schedule.h"
#include "service/nbackup_services.h"
#include "service/stream_services.h"

namespace {

// A request of type T for the database `database`, verbose where the
// request has the switch, with the members the switches select.
template <typename T, typename TOption>
std::unique_ptr<T> NewJobRequest(const TServerPath& database, uint8_t protocol, const std::string& userName,
                                 const std::string& password, const bool (&switches)[8],
                                 std::optional<TOption> (*optionOfSwitch)(int)) {
  auto request = std::make_unique<T>();
  PrepareRequest(*request, database.ServerName, protocol, userName, password);
  if constexpr (std::is_base_of_v<TIBBackupRestoreService, T>) request->Verbose = true;
  for (int n = 1; n <= 8; ++n)
    if (switches[n - 1])
      if (auto option = optionOfSwitch(n)) request->Options.Include(*option);
  return request;
}

}  // namespace

void PrepareRequest(TIBCustomService& service, const std::string& serverName, uint8_t protocol,
                    const std::string& userName, const std::string& password) {
  service.SetServerName(serverName);
  service.SetProtocol(static_cast<TProtocol>(protocol));
  service.LoginPrompt = false;
  service.Params().Add("User_Name=" + userName);
  service.Params().Add("Password=" + password);
}

void ReleaseRequest(TIBCustomService& service) {
  if (service.Active()) service.SetActive(false);
}

std::unique_ptr<TIBControlAndQueryService> MakeJobRequest(int32_t kind, const TServerPath (&slot)[2], uint8_t protocol,
                                                          const std::string& userName, const std::string& password,
                                                          const bool (&switches)[8], bool streamed) {
  if (kind == TSchedule::KindBackup) {
    std::unique_ptr<TIBBackupService> backup;
    if (streamed) {
      backup =
          NewJobRequest<TIBBackupStreamService>(slot[0], protocol, userName, password, switches, &BackupOptionOfSwitch);
    } else {
      backup = NewJobRequest<TIBBackupService>(slot[0], protocol, userName, password, switches, &BackupOptionOfSwitch);
    }
    backup->DatabaseName = slot[0].LocalPath;
    backup->BackupFile.Assign({slot[1].LocalPath});
    return backup;
  }
  if (kind == TSchedule::KindRestore) {
    std::unique_ptr<TIBRestoreService> restore;
    if (streamed) {
      restore = NewJobRequest<TIBRestoreStreamService>(slot[1], protocol, userName, password, switches,
                                                       &RestoreOptionOfSwitch);
    } else {
      restore =
          NewJobRequest<TIBRestoreService>(slot[1], protocol, userName, password, switches, &RestoreOptionOfSwitch);
    }
    restore->DatabaseName.Assign({slot[1].LocalPath});
    restore->BackupFile.Assign({slot[0].LocalPath});
    return restore;
  }
  auto repair =
      NewJobRequest<TIBValidationService>(slot[0], protocol, userName, password, switches, &ValidateOptionOfSwitch);
  repair->DatabaseName = slot[0].LocalPath;
  return repair;
}

std::unique_ptr<TIBControlAndQueryService> MakePhysicalJobRequest(int32_t kind, const TServerPath (&slot)[2],
                                                                  const std::vector<TServerPath>& chain, int32_t level,
                                                                  uint8_t protocol, const std::string& userName,
                                                                  const std::string& password) {
  if (kind == TSchedule::KindNBackup) {
    auto backup = std::make_unique<TIBNBackupService>();
    PrepareRequest(*backup, slot[0].ServerName, protocol, userName, password);
    backup->DatabaseName = slot[0].LocalPath;
    backup->BackupFile = slot[1].LocalPath;
    backup->Level = level;
    return backup;
  }
  auto restore = std::make_unique<TIBNRestoreService>();
  PrepareRequest(*restore, slot[1].ServerName, protocol, userName, password);
  restore->DatabaseName = slot[1].LocalPath;
  for (const TServerPath& file : chain) {
    // The server reads the files on its own disk.
    if (!SameTextAscii(file.ServerName, slot[1].ServerName))
      throw Exception("The files of the chain must be on the server of the database (" + slot[1].ServerName +
                      "): " + file.FileName + " is on " + file.ServerName);
    restore->BackupFiles.push_back(file.LocalPath);
  }
  return restore;
}
