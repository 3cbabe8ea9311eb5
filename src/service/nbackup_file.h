#pragma once
// What a physical backup file says about its place in a chain, read from its
// first bytes on this computer. A file of level 1 or more starts with a
// header of its own: "NBAK", the format, the level, the backup's GUID and the
// GUID of the backup of the level below that it builds on. A file of level 0
// is a copy of the database whose header page holds the GUID of that backup.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using TBackupGuid = std::array<unsigned char, 16>;

struct TNBackupHeader {
  int Level = 0;
  TBackupGuid Guid{};
  // The backup of the level below (level 1 or more).
  TBackupGuid BaseGuid{};
};

// The header of a file of level 1 or more from its first bytes; nullopt for
// bytes that are no such header.
std::optional<TNBackupHeader> ParseNBackupHeader(std::string_view bytes);

// The header of the file at `path`: a level-0 file (a database copy) gives
// level 0 and no GUIDs; nullopt when the file cannot be read here or is
// neither.
std::optional<TNBackupHeader> ReadNBackupHeader(const std::string& path);

// True when the level-0 file at `path` is the backup `guid` names (its
// header page holds that GUID).
bool LevelZeroHoldsGuid(const std::string& path, const TBackupGuid& guid);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" as the server shows a GUID.
std::string GuidText(const TBackupGuid& guid);
// The GUID of such a text; nullopt for any other text.
std::optional<TBackupGuid> ParseGuidText(const std::string& text);

// True when the backup file at `path` (of any level) is the backup whose
// GUID the server shows as `guidText`.
bool FileIsBackup(const std::string& path, const std::string& guidText);
