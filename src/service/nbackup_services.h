#pragma once
// Physical (nbackup) backups and restores through the service manager, and
// the header statistics that tell a database's physical backup state. The
// server writes and reads the files on its own disk; a backup of level N
// holds the pages changed since the last backup of level N-1, and a restore
// takes the files of a chain in order, level 0 first.

#include <cstdint>
#include <string>
#include <vector>

#include "service/backup_restore_services.h"

// Action codes and start-block tags of these requests.
namespace spb {
constexpr uint8_t action_svc_db_stats = 11;
constexpr uint8_t action_svc_nbak = 20;
constexpr uint8_t action_svc_nrest = 21;
constexpr uint8_t nbk_level = 5;
constexpr uint8_t nbk_file = 6;
constexpr int32_t nbk_no_triggers = 0x01;
constexpr int32_t sts_data_pages = 0x01;
constexpr int32_t sts_hdr_pages = 0x04;
constexpr int32_t sts_record_versions = 0x20;
constexpr uint8_t info_svc_server_version = 55;
}  // namespace spb

class TIBNBackupService : public TIBControlAndQueryService {
 public:
  std::string DatabaseName;
  std::string BackupFile;
  int32_t Level = 0;
  // Database triggers (ON CONNECT and the like) do not fire for the backup.
  bool NoTriggers = false;

  void BuildStartRequest() override;
};

class TIBNRestoreService : public TIBControlAndQueryService {
 public:
  std::string DatabaseName;
  // The chain, level 0 first.
  std::vector<std::string> BackupFiles;

  void BuildStartRequest() override;
};

// Statistics of one database (what gstat prints): by default its header
// ("gstat -h"); with data pages and record versions the user tables and
// their rows ("gstat -d -r").
class TIBHeaderStatsService : public TIBControlAndQueryService {
 public:
  std::string DatabaseName;
  int32_t Options = spb::sts_hdr_pages;

  void BuildStartRequest() override;
};

// The server's version text ("LI-V3.0.11.33637 Firebird 3.0") from an
// attached service; empty when the server does not say.
std::string QueryServerVersion(TIBCustomService& service);
// The major and minor version of such a text ("…-V3.0…" gives 3 and 0);
// {0, 0} when it names none.
struct TServerVersion {
  int Major = 0;
  int Minor = 0;
  bool AtLeast(int major, int minor) const { return Major > major || (Major == major && Minor >= minor); }
};
TServerVersion ParseServerVersion(const std::string& text);
