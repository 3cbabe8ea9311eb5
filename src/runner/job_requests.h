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

// Server, protocol and the job's login; no login dialog. The protocol is set
// after the server name, as a Local request forgets it.
void PrepareRequest(TIBCustomService& service, const std::string& serverName, uint8_t protocol,
                    const std::string& userName, const std::string& password);

// Detaches when attached: a request whose attach, start or read failed has
// already forgotten its handle, and detaching it again would only raise
// "service is not attached" over the real error.
void ReleaseRequest(TIBCustomService& service);

// The request of a job kind (1 backup, 2 restore, anything else repair),
// configured from the two job files (`slot[0]` the source, `slot[1]` the
// target) and switches 1..8 (`switches[0..7]`). `streamed`: the backup file
// goes to or comes from this computer through the request's standard output
// or input.
std::unique_ptr<TIBControlAndQueryService> MakeJobRequest(int32_t kind, const TServerPath (&slot)[2], uint8_t protocol,
                                                          const std::string& userName, const std::string& password,
                                                          const bool (&switches)[8], bool streamed = false);

// The request of a physical job: a backup of `level` of slot 0's database
// into slot 1's file, or a restore of `chain` (level 0 first) into slot 1's
// database. The files of a chain must be on the server of the database.
std::unique_ptr<TIBControlAndQueryService> MakePhysicalJobRequest(int32_t kind, const TServerPath (&slot)[2],
                                                                  const std::vector<TServerPath>& chain, int32_t level,
                                                                  uint8_t protocol, const std::string& userName,
                                                                  const std::string& password);
