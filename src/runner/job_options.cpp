#include "runner/job_options.h"

#include <string>

namespace {

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

std::optional<TBackupOption> BackupOptionOfSwitch(int n) {
  // Switch 4 is the old metadata description and 5 no garbage collection,
  // the other way round from the members' order in the set.
  static constexpr TBackupOption map[7] = {
      TBackupOption::IgnoreChecksums, TBackupOption::IgnoreLimbo,     TBackupOption::MetadataOnly,
      TBackupOption::OldMetadataDesc, TBackupOption::NoGarbageCollection,
      TBackupOption::NonTransportable, TBackupOption::ConvertExtTables};
  if (n < 1 || n > 7) return std::nullopt;
  return map[n - 1];
}

std::optional<TRestoreOption> RestoreOptionOfSwitch(int n) {
  static constexpr TRestoreOption map[7] = {
      TRestoreOption::DeactivateIndexes,  TRestoreOption::NoShadow, TRestoreOption::NoValidityCheck,
      TRestoreOption::OneRelationAtATime, TRestoreOption::Replace,  TRestoreOption::CreateNewDB,
      TRestoreOption::UseAllSpace};
  if (n < 1 || n > 7) return std::nullopt;
  return map[n - 1];
}

std::optional<TValidateOption> ValidateOptionOfSwitch(int n) {
  static constexpr TValidateOption map[8] = {
      TValidateOption::LimboTransactions, TValidateOption::CheckDB, TValidateOption::IgnoreChecksum,
      TValidateOption::KillShadows,       TValidateOption::MendDB,  TValidateOption::SweepDB,
      TValidateOption::ValidateDB,        TValidateOption::ValidateFull};
  if (n < 1 || n > 8) return std::nullopt;
  return map[n - 1];
}

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
