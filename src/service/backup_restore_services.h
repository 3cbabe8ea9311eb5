#pragma once
// Backup, restore and repair (validation) requests and the reading of the
// server's output line by line.

#include <cstdint>
#include <string>

#include "service/option_set.h"
#include "service/service_connection.h"
#include "service/service_options.h"

// Published Services API bit of each member.
uint32_t BackupOptionBit(TBackupOption option);
uint32_t RestoreOptionBit(TRestoreOption option);
uint32_t ValidateOptionBit(TValidateOption option);
// Sums of the members' bits.
uint32_t BackupOptionsValue(TBackupOptions options);
uint32_t RestoreOptionsValue(TRestoreOptions options);

// Action codes and start-block tags of these requests.
namespace spb {
constexpr uint8_t action_svc_backup = 1;
constexpr uint8_t action_svc_restore = 2;
constexpr uint8_t action_svc_repair = 3;
constexpr uint8_t bkp_file = 5;
constexpr uint8_t bkp_factor = 6;
constexpr uint8_t bkp_length = 7;
constexpr uint8_t res_buffers = 9;
constexpr uint8_t res_page_size = 10;
constexpr uint8_t res_length = 11;
constexpr uint8_t info_svc_line = 62;
constexpr uint8_t info_end = 1;
}  // namespace spb

class TIBControlAndQueryService : public TIBControlService {
 public:
  using TIBCustomService::BufferSize;
  void SetBufferSize(int32_t value) { TIBCustomService::SetBufferSize(value); }

  // Next output line of the current request; "" once the output has ended.
  std::string NextOutputLine();
  // The same, waiting on the server for at most `seconds` (the query's
  // timeout item): false when no line came meanwhile or the output ended.
  // A caller that must be able to stop a job uses it: a server that builds
  // an index may say nothing for minutes.
  bool NextOutputLineWithin(std::uint16_t seconds, std::string& line);
  bool OutputEnded() const { return FOutputEnded; }
  int32_t RequestAction() const { return FRequestAction; }

 protected:
  bool FOutputEnded = false;
  int32_t FRequestAction = 0;
};

class TIBBackupRestoreService : public TIBControlAndQueryService {
 public:
  bool Verbose = false;
  std::string SQLRole;
};

class TIBBackupService : public TIBBackupRestoreService {
 public:
  std::string DatabaseName;
  TBackupOptions Options;
  TStringList BackupFile;
  int32_t BlockingFactor = 0;

  void BuildStartRequest() override;
};

class TIBRestoreService : public TIBBackupRestoreService {
 public:
  TStringList DatabaseName;
  TStringList BackupFile;
  TRestoreOptions Options{TRestoreOption::CreateNewDB};
  int32_t PageSize = 0;
  int32_t PageBuffers = 0;

  void BuildStartRequest() override;
};

class TIBValidationService : public TIBControlAndQueryService {
 public:
  std::string DatabaseName;
  TValidateOptions Options;

  void BuildStartRequest() override;
};
