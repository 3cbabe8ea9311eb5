#pragma once
// A job's switches in the order the parameters window and the settings
// (BackParam1…, RestParam1…) list them: the option each one selects and its
// caption, and the "[...]" text of those that are on.

#include <array>
#include <cstddef>
#include <string>

#include "jobs/job.h"
#include "service/service_options.h"

template <typename TOption>
struct TJobSwitch {
  TOption Option;
  const char* Caption;
};

extern const std::array<TJobSwitch<TBackupOption>, 7> BackupSwitches;
extern const std::array<TJobSwitch<TRestoreOption>, 7> RestoreSwitches;
extern const std::array<TJobSwitch<TValidateOption>, 8> RepairSwitches;

// The options of the switches that are on (`on[i]` is switch i + 1).
template <typename TOption, std::size_t Count>
TOptionSet<TOption> OptionsOfSwitches(const std::array<TJobSwitch<TOption>, Count>& switches, const bool (&on)[Count]) {
  TOptionSet<TOption> options;
  for (std::size_t i = 0; i < Count; ++i)
    if (on[i]) options.Include(switches[i].Option);
  return options;
}

// "[" + the captions of the job's switches that are on, comma-separated, in
// the switches' order, + "]"; "[]" for a physical job.
std::string SwitchesText(const TJob& job);
