#pragma once
// What a physical (nbackup) backup needs to know of a database before it is
// asked for, through the service manager: whether the server offers the
// service, and the database's header state (read-only, already in backup
// mode, its backup GUID). Firebird 3.0's nbackup service, failing, closes a
// descriptor of the process it runs in (over TCP the server stops accepting
// connections), so what can be foreseen is refused before the request.

#include <cstdint>
#include <string>
#include <vector>

#include "service/protocol.h"

struct TPhysicalState {
  // The server answered the header statistics.
  bool Known = false;
  std::string Error;
  std::string ServerVersion;
  // The server is Firebird 2.5 or later (the service exists).
  bool ServiceOffered = false;
  // The "Attributes" text of the header.
  std::string Attributes;
  bool ReadOnly = false;
  // The database is in physical backup mode ("backup lock" or "backup merge").
  bool BackupMode = false;
  // The header's "Database backup GUID", as the server shows it.
  std::string BackupGuid;
};

// One header statistics request (and the server's version on the same
// connection).
TPhysicalState ReadPhysicalState(const std::string& serverName, const std::string& localPath, TProtocol protocol,
                                 const std::string& userName, const std::string& password);

// Ends the backup mode a crash left behind: ALTER DATABASE END BACKUP through
// an attachment of the database. Raises with the server's message.
void EndPhysicalBackupMode(const std::string& serverName, const std::string& localPath, TProtocol protocol,
                           const std::string& userName, const std::string& password);

// One physical backup as the database's own history has it
// (RDB$BACKUP_HISTORY): its server writes a row when it has finished a
// backup file, and builds a level N on the latest row of level N-1.
struct TEngineBackup {
  int Level = 0;
  // As the server shows it ("{XXXXXXXX-XXXX-…}").
  std::string Guid;
  // The file as the server named it.
  std::string FileName;
};

// The rows, oldest first (none for a database that never had a physical
// backup, or was restored from a logical one), through an attachment of the
// database. Raises with the server's message.
std::vector<TEngineBackup> ReadEngineBackups(const std::string& serverName, const std::string& localPath,
                                             TProtocol protocol, const std::string& userName,
                                             const std::string& password);

// True when the server's service manager can be attached (a server that
// stopped accepting connections cannot).
bool ServerAnswers(const std::string& serverName, TProtocol protocol, const std::string& userName,
                   const std::string& password);

// The parts of one header statistics line that TPhysicalState keeps.
void ReadPhysicalStateLine(const std::string& line, TPhysicalState& state);
