#pragma once
// A restore fed from an off-site copy: the object downloaded, decrypted
// (each chunk authenticated before a byte of it goes on), decompressed and
// handed to the server's restore stream while it arrives, never whole on
// this computer. The SHA-256 of what was downloaded must match the one
// stored beside the copy before the restore is given the end of its input:
// an altered or cut object fails the restore instead of finishing it.

#include <string>

#include "jobs/targets/backup_target.h"
#include "runner/job_paths.h"
#include "service/protocol.h"
#include "service/service_options.h"
#include "storage/crypt/crypt_key.h"

class TJobOutput;

// Why the copy `copy` cannot be restored with `key` (null: none given),
// from its metadata alone; empty when it can.
std::string OffsiteKeyProblem(const TStoredCopy& copy, const TCryptKey* key);

// The restore of an off-site copy: the new database and how it is made.
struct TOffsiteRestore {
  TServerPath Database;
  TProtocol Protocol = TProtocol::Local;
  std::string UserName;
  std::string Password;
  TRestoreOptions Options;
};

// Restores the copy `name` of `target` into `job.Database` (a database that
// does not exist yet). Pane lines (the server's output) go to `output`.
// Raises on any failure; the caller removes what a failed restore created.
void RestoreOffsiteCopy(TBackupTarget& target, const std::string& name, const TCryptKey* key,
                        const TOffsiteRestore& job, TJobOutput& output);
