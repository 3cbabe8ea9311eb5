#include "jobs/job_switches.h"

namespace {

template <typename TOption, std::size_t Count>
std::string CaptionsOf(const std::array<TJobSwitch<TOption>, Count>& switches, TOptionSet<TOption> on) {
  std::string text = "[";
  for (const TJobSwitch<TOption>& entry : switches) {
    if (!on.Contains(entry.Option)) continue;
    text += entry.Caption;
    text += ',';
  }
  if (text.size() > 1) text.pop_back();
  text += ']';
  return text;
}

}  // namespace

// Switch 4 of a backup is the old metadata description and 5 no garbage
// collection, the other way round from the members' order in the set.
// clang-format off
const std::array<TJobSwitch<TBackupOption>, 7> BackupSwitches = {{
    {TBackupOption::IgnoreChecksums,     "Ignore checksums"},
    {TBackupOption::IgnoreLimbo,         "Ignore limbo transactions"},
    {TBackupOption::MetadataOnly,        "Metadata only"},
    {TBackupOption::OldMetadataDesc,     "Old metadata description"},
    {TBackupOption::NoGarbageCollection, "No garbage collection"},
    {TBackupOption::NonTransportable,    "Non-transportable"},
    {TBackupOption::ConvertExtTables,    "Convert external tables"},
}};

const std::array<TJobSwitch<TRestoreOption>, 7> RestoreSwitches = {{
    {TRestoreOption::DeactivateIndexes,  "Deactivate indexes"},
    {TRestoreOption::NoShadow,           "No shadow files"},
    {TRestoreOption::NoValidityCheck,    "No validity check"},
    {TRestoreOption::OneRelationAtATime, "One relation at a time"},
    {TRestoreOption::Replace,            "Replace"},
    {TRestoreOption::CreateNewDB,        "Create new database"},
    {TRestoreOption::UseAllSpace,        "Use all space"},
}};

const std::array<TJobSwitch<TValidateOption>, 8> RepairSwitches = {{
    {TValidateOption::LimboTransactions, "Limbo transactions"},
    {TValidateOption::CheckDB,           "Check database only"},
    {TValidateOption::IgnoreChecksum,    "Ignore checksum errors"},
    {TValidateOption::KillShadows,       "Kill shadow files"},
    {TValidateOption::MendDB,            "Mend database"},
    {TValidateOption::SweepDB,           "Sweep database"},
    {TValidateOption::ValidateDB,        "Validate database"},
    {TValidateOption::ValidateFull,      "Full validate"},
}};
// clang-format on

std::string SwitchesText(const TJob& job) {
  switch (job.Kind) {
    case TJobKind::Backup: return CaptionsOf(BackupSwitches, job.BackupOptions);
    case TJobKind::Restore: return CaptionsOf(RestoreSwitches, job.RestoreOptions);
    case TJobKind::Repair: return CaptionsOf(RepairSwitches, job.RepairOptions);
    case TJobKind::PhysicalBackup:
    case TJobKind::PhysicalRestore: break;
  }
  return "[]";
}
