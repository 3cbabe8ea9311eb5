#include "runner/job_options.h"

#include <string>

namespace {

// clang-format off
constexpr const char* BackupCaptions[8] = {
    "Ignore checksums",         "Ignore limbo transactions", "Metadata only",
    "Old metadata description", "No garbage collection",     "Non-transportable",
    "Convert external tables",  nullptr};

constexpr const char* RestoreCaptions[8] = {
    "Deactivate indexes", "No shadow files",     "No validity check", "One relation at a time",
    "Replace",            "Create new database", "Use all space",     nullptr};

constexpr const char* RepairCaptions[8] = {
    "Limbo transactions", "Check database only", "Ignore checksum errors", "Kill shadow files",
    "Mend database",      "Sweep database",      "Validate database",      "Full validate"};

// The member each switch selects, switch 1 first. Switch 4 of a backup is
// the old metadata description and 5 no garbage collection, the other way
// round from the members' order in the set.
constexpr TBackupOption BackupSwitches[7] = {
    TBackupOption::IgnoreChecksums,  TBackupOption::IgnoreLimbo,     TBackupOption::MetadataOnly,
    TBackupOption::OldMetadataDesc,  TBackupOption::NoGarbageCollection,
    TBackupOption::NonTransportable, TBackupOption::ConvertExtTables};
constexpr TRestoreOption RestoreSwitches[7] = {
    TRestoreOption::DeactivateIndexes,  TRestoreOption::NoShadow, TRestoreOption::NoValidityCheck,
    TRestoreOption::OneRelationAtATime, TRestoreOption::Replace,  TRestoreOption::CreateNewDB,
    TRestoreOption::UseAllSpace};
constexpr TValidateOption RepairSwitches[8] = {
    TValidateOption::LimboTransactions, TValidateOption::CheckDB, TValidateOption::IgnoreChecksum,
    TValidateOption::KillShadows,       TValidateOption::MendDB,  TValidateOption::SweepDB,
    TValidateOption::ValidateDB,        TValidateOption::ValidateFull};
// clang-format on

template <typename TOption, std::size_t Count>
std::optional<TOption> OptionOfSwitch(const TOption (&switches)[Count], int n) {
  if (n < 1 || n > static_cast<int>(Count)) return std::nullopt;
  return switches[n - 1];
}

}  // namespace

const char* JobOptionCaption(int32_t kind, int n) {
  if (n < 1 || n > 8) return nullptr;
  switch (kind) {
    case 1: return BackupCaptions[n - 1];
    case 2: return RestoreCaptions[n - 1];
    case 3: return RepairCaptions[n - 1];
    default: return nullptr;
  }
}

std::optional<TBackupOption> BackupOptionOfSwitch(int n) { return OptionOfSwitch(BackupSwitches, n); }
std::optional<TRestoreOption> RestoreOptionOfSwitch(int n) { return OptionOfSwitch(RestoreSwitches, n); }
std::optional<TValidateOption> ValidateOptionOfSwitch(int n) { return OptionOfSwitch(RepairSwitches, n); }

std::string JobOptionsText(int32_t kind, const bool (&switches)[8]) {
  std::string text = "[";
  for (int n = 1; n <= 8; ++n) {
    if (!switches[n - 1]) continue;
    if (const char* caption = JobOptionCaption(kind, n)) {
      text += caption;
      text += ',';
    }
  }
  if (text.size() > 1) text.pop_back();
  text += ']';
  return text;
}
