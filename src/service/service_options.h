#pragma once
// The options of the backup, restore and repair (validation) requests, apart
// from the requests: a job's description names them without the service
// layer.

#include <cstdint>

#include "service/option_set.h"

enum class TBackupOption : uint8_t {
  IgnoreChecksums,
  IgnoreLimbo,
  MetadataOnly,
  NoGarbageCollection,
  OldMetadataDesc,
  NonTransportable,
  ConvertExtTables
};
using TBackupOptions = TOptionSet<TBackupOption>;

enum class TRestoreOption : uint8_t {
  DeactivateIndexes,
  NoShadow,
  NoValidityCheck,
  OneRelationAtATime,
  Replace,
  CreateNewDB,
  UseAllSpace
};
using TRestoreOptions = TOptionSet<TRestoreOption>;

enum class TValidateOption : uint8_t {
  LimboTransactions,
  CheckDB,
  IgnoreChecksum,
  KillShadows,
  MendDB,
  SweepDB,
  ValidateDB,
  ValidateFull
};
using TValidateOptions = TOptionSet<TValidateOption>;
