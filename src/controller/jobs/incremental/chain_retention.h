#pragma once
// Which physical backup files of a plan database retention removes: whole
// chains only. A chain is a level-0 file and every file built on it; the
// rules count chains (keep the newest N) and age them by their newest file
// (remove those whose newest file is older than D days). The newest chain and
// the chain of the backup just made are never removed, nor a chain holding a
// file the plan did not make (a backup made by hand on the plan's level 0
// still needs it). So no kept file ever loses a file it builds on.

#include <string>
#include <vector>

#include "controller/jobs/retention.h"
#include "platform/date_time.h"

struct TChainFile {
  std::string File;
  int Level = 0;
  // The level-0 file of its chain.
  std::string Chain;
  TDateTime Moment = 0;
  // Made by the plan.
  bool ByPlan = false;
};

// The files to remove under `rule` at `now`, the highest level first (a
// removal cut short never leaves a file without its base); `justMadeChain`
// is the chain of the backup just made.
std::vector<std::string> ChainFilesToRemove(const std::vector<TChainFile>& files, const TRetentionRule& rule,
                                            TDateTime now, const std::string& justMadeChain);
