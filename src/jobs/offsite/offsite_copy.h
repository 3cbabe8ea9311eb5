#pragma once
// The off-site copy of a backup: the server's backup streamed through its
// service manager, compressed with zstd, encrypted when a key is given, and
// written to a target (object storage) as "<backup file name>.zst" while it
// arrives, never whole on this computer. The SHA-256 of what was stored is
// kept beside it as "<name>.sha256" (as sha256sum writes it) and returned
// for the history. A copy that fails leaves nothing under its names.

#include <cstdint>
#include <string>

#include "jobs/targets/backup_target.h"
#include "runner/local_copy_source.h"
#include "storage/crypt/crypt_key.h"

class TJobOutput;

struct TOffsiteCopyInfo {
  TStoredCopy Copy;
  std::uint64_t InputBytes = 0;  // of the backup, before compression
  std::string KeyId;             // of the encryption key; empty: not encrypted
};

// The object name of a backup file's off-site copy, and of its checksum.
std::string OffsiteCopyName(const std::string& backupFileName);
std::string OffsiteChecksumName(const std::string& copyName);

// The metadata keys of a copy.
inline constexpr const char* CopyMetaCompression = "quorvin-compression";
inline constexpr const char* CopyMetaEncryption = "quorvin-encryption";
inline constexpr const char* CopyMetaKeyId = "quorvin-key-id";
inline constexpr const char* CopyMetaBackup = "quorvin-backup";
// On the checksum object: the copy's SHA-256 (fixed only once the copy is
// whole, after its own metadata was written).
inline constexpr const char* CopyMetaSha256 = "quorvin-sha256";

// `key` null: not encrypted. `expectedBytes`: the backup's likely size (0:
// not known), so that the parts are large enough. Pane lines go to
// `output`; raises on any failure (a stop included).
TOffsiteCopyInfo MakeOffsiteCopy(const TLocalCopySource& source, TBackupTarget& target, const TCryptKey* key,
                                 std::uint64_t expectedBytes, TJobOutput& output);
