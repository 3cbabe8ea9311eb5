#pragma once
// The temporary database of a backup's verification: named beside the backup
// file as the server sees it, and removed after the check (or, after a crash,
// at the next start) here when this computer can, else through the server
// that made it.

#include <cstdint>
#include <string>

#include "service/protocol.h"

// A fresh name for the temporary database beside `backupFile` (as this
// computer or its server names it: "\\server\D$\…" keeps the server's
// notation), no longer than `maxChars` characters: "<backup>.verify-xxxxxx.fdb",
// or "verify-xxxxxx.fdb" in its folder when the long one does not fit.
// Empty when there is no folder beside it or no name fits.
std::string TemporaryDatabaseName(const std::string& backupFile, std::size_t maxChars);
// True for a name TemporaryDatabaseName gives beside `backupFile`.
bool IsTemporaryDatabaseOf(const std::string& name, const std::string& backupFile);

enum class TRemoval { NothingThere, Removed, Dropped, Failed };
struct TRemovalResult {
  TRemoval Outcome = TRemoval::NothingThere;
  std::string Error;  // why it stays (Failed)
};

// Removes the temporary database `name`: nothing to do when this computer can
// look into its folder and sees no such file; deleted here when it can be;
// otherwise dropped through its server with the job's protocol and login
// (a server that has no such file: nothing was there).
TRemovalResult RemoveTemporaryDatabase(const std::string& name, TProtocol protocol, const std::string& user,
                                       const std::string& password);
