#pragma once
// The service requests a job makes (its backup, restore or repair, the
// shutdown and restart of its database, the header statistics): set up alike
// and released alike.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runner/job_paths.h"
#include "service/backup_restore_services.h"
#include "service/nbackup_services.h"

// Server, protocol and the job's login; no login dialog. The protocol is set
// after the server name, as a Local request forgets it.
void PrepareRequest(TIBCustomService& service, const std::string& serverName, TProtocol protocol,
                    const std::string& userName, const std::string& password);

// Detaches when attached: a request whose attach, start or read failed has
// already forgotten its handle, and detaching it again would only raise
// "service is not attached" over the real error.
void ReleaseRequest(TIBCustomService& service);

// The requests of the jobs, configured from the job's files and the
// options of its switches (a restore's on top of CreateNewDB, which its
// request always has). `streamed`: the backup file goes to or comes from
// this computer through the request's standard output or input.
std::unique_ptr<TIBBackupService> MakeBackupRequest(const TServerPath& database, const TServerPath& backupFile,
                                                    TProtocol protocol, const std::string& userName,
                                                    const std::string& password, TBackupOptions options,
                                                    bool streamed = false);
std::unique_ptr<TIBRestoreService> MakeRestoreRequest(const TServerPath& backupFile, const TServerPath& database,
                                                      TProtocol protocol, const std::string& userName,
                                                      const std::string& password, TRestoreOptions options,
                                                      bool streamed = false);
std::unique_ptr<TIBValidationService> MakeRepairRequest(const TServerPath& database, TProtocol protocol,
                                                        const std::string& userName, const std::string& password,
                                                        TValidateOptions options);

// A physical backup of `level` of `database` into `backupFile`, and a
// physical restore of `chain` (level 0 first) into `database`. The files of
// a chain must be on the server of the database.
std::unique_ptr<TIBNBackupService> MakePhysicalBackupRequest(const TServerPath& database, const TServerPath& backupFile,
                                                             std::int32_t level, TProtocol protocol,
                                                             const std::string& userName, const std::string& password);
std::unique_ptr<TIBNRestoreService> MakePhysicalRestoreRequest(const std::vector<TServerPath>& chain,
                                                               const TServerPath& database, TProtocol protocol,
                                                               const std::string& userName,
                                                               const std::string& password);
