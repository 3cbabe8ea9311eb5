#include "runner/job_requests.h"

#include <type_traits>

#include "platform/exception.h"
#include "platform/text.h"
#include "service/nbackup_services.h"
#include "service/stream_services.h"

namespace {

// A request of type T for the database `database`, verbose where the
// request has the switch, with `options` added to its own.
template <typename T, typename TOption>
std::unique_ptr<T> NewJobRequest(const TServerPath& database, TProtocol protocol, const std::string& userName,
                                 const std::string& password, TOptionSet<TOption> options) {
  auto request = std::make_unique<T>();
  PrepareRequest(*request, database.ServerName, protocol, userName, password);
  if constexpr (std::is_base_of_v<TIBBackupRestoreService, T>) request->Verbose = true;
  request->Options.Include(options);
  return request;
}

}  // namespace

void PrepareRequest(TIBCustomService& service, const std::string& serverName, TProtocol protocol,
                    const std::string& userName, const std::string& password) {
  service.SetServerName(serverName);
  service.SetProtocol(protocol);
  service.LoginPrompt = false;
  service.Params().Add("User_Name=" + userName);
  service.Params().Add("Password=" + password);
}

void ReleaseRequest(TIBCustomService& service) {
  if (service.Active()) service.SetActive(false);
}

std::unique_ptr<TIBBackupService> MakeBackupRequest(const TServerPath& database, const TServerPath& backupFile,
                                                    TProtocol protocol, const std::string& userName,
                                                    const std::string& password, TBackupOptions options,
                                                    bool streamed) {
  std::unique_ptr<TIBBackupService> backup;
  if (streamed)
    backup = NewJobRequest<TIBBackupStreamService>(database, protocol, userName, password, options);
  else
    backup = NewJobRequest<TIBBackupService>(database, protocol, userName, password, options);
  backup->DatabaseName = database.LocalPath;
  backup->BackupFile.Assign({backupFile.LocalPath});
  return backup;
}

std::unique_ptr<TIBRestoreService> MakeRestoreRequest(const TServerPath& backupFile, const TServerPath& database,
                                                      TProtocol protocol, const std::string& userName,
                                                      const std::string& password, TRestoreOptions options,
                                                      bool streamed) {
  std::unique_ptr<TIBRestoreService> restore;
  if (streamed)
    restore = NewJobRequest<TIBRestoreStreamService>(database, protocol, userName, password, options);
  else
    restore = NewJobRequest<TIBRestoreService>(database, protocol, userName, password, options);
  restore->DatabaseName.Assign({database.LocalPath});
  restore->BackupFile.Assign({backupFile.LocalPath});
  return restore;
}

std::unique_ptr<TIBValidationService> MakeRepairRequest(const TServerPath& database, TProtocol protocol,
                                                        const std::string& userName, const std::string& password,
                                                        TValidateOptions options) {
  auto repair = NewJobRequest<TIBValidationService>(database, protocol, userName, password, options);
  repair->DatabaseName = database.LocalPath;
  return repair;
}

std::unique_ptr<TIBNBackupService> MakePhysicalBackupRequest(const TServerPath& database, const TServerPath& backupFile,
                                                             std::int32_t level, TProtocol protocol,
                                                             const std::string& userName, const std::string& password) {
  auto backup = std::make_unique<TIBNBackupService>();
  PrepareRequest(*backup, database.ServerName, protocol, userName, password);
  backup->DatabaseName = database.LocalPath;
  backup->BackupFile = backupFile.LocalPath;
  backup->Level = level;
  return backup;
}

std::unique_ptr<TIBNRestoreService> MakePhysicalRestoreRequest(const std::vector<TServerPath>& chain,
                                                               const TServerPath& database, TProtocol protocol,
                                                               const std::string& userName,
                                                               const std::string& password) {
  auto restore = std::make_unique<TIBNRestoreService>();
  PrepareRequest(*restore, database.ServerName, protocol, userName, password);
  restore->DatabaseName = database.LocalPath;
  for (const TServerPath& file : chain) {
    // The server reads the files on its own disk.
    if (!SameTextAscii(file.ServerName, database.ServerName))
      throw Exception("The files of the chain must be on the server of the database (" + database.ServerName +
                      "): " + file.FileName + " is on " + file.ServerName);
    restore->BackupFiles.push_back(file.LocalPath);
  }
  return restore;
}
