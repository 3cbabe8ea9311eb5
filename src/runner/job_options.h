#pragma once
// The job's option switches: what switch n means for each kind of job, and
// the "[...]" text that lists the switches that are on.

#include <cstdint>
#include <optional>

#include "service/backup_restore_services.h"

// The caption of switch n (1..8) for the job kind (1 backup, 2 restore,
// 3 repair); nullptr when the switch has no option for that kind.
const char* JobOptionCaption(int32_t kind, int n);

// The member each switch selects, when it selects one.
std::optional<TBackupOption> BackupOptionOfSwitch(int n);
std::optional<TRestoreOption> RestoreOptionOfSwitch(int n);
std::optional<TValidateOption> ValidateOptionOfSwitch(int n);

// "[" + the captions of the switches that are on, comma-separated, + "]".
// `switches` holds switches 1..8 at indexes 0..7.
std::string JobOptionsText(int32_t kind, const bool (&switches)[8]);
