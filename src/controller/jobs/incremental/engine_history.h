#pragma once
// What a database's own history of physical backups (RDB$BACKUP_HISTORY)
// says of this program's files. The server writes a row there once it has
// finished a backup file, and builds a level N on its latest row of level
// N-1, whichever file that was: a file the history lists is a link the next
// level needs, and a level whose row names a file the program does not have
// cannot be restored by the program.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runner/physical_backup.h"

struct TEngineHistory {
  // The server answered.
  bool Known = false;
  std::string Error;
  // Oldest first.
  std::vector<TEngineBackup> Backups;
};

// The history of `database` (as this computer names it) through its server.
TEngineHistory ReadEngineHistory(const std::string& database, TProtocol protocol, const std::string& user,
                                 const std::string& password);

// The latest row of `level`; nullopt when there is none.
std::optional<TEngineBackup> LatestEngineBackup(const std::vector<TEngineBackup>& backups, int level);

// True when a row is the backup `file`: by the GUID in the file, for a file
// this computer reads, else by the server's name of it.
bool EngineListsFile(const std::vector<TEngineBackup>& backups, const std::string& file);

// The file this program has of `backup`: `candidate` when it is that backup,
// else the file in `folder` that is (under its own name or one the program
// set it apart with); empty when there is none.
std::string FileOfEngineBackup(const TEngineBackup& backup, const std::string& candidate, const std::string& folder);
