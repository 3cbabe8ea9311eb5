#include "controller/jobs/incremental/chain_retention.h"

#include <algorithm>
#include <map>

namespace {

struct TChainGroup {
  std::string Chain;
  TDateTime Started = 0;  // its level-0 file
  TDateTime Newest = 0;
  bool AllByPlan = true;
  std::vector<const TChainFile*> Files;
};

std::vector<TChainGroup> GroupByChain(const std::vector<TChainFile>& files) {
  std::map<std::string, TChainGroup> groups;
  for (const TChainFile& file : files) {
    TChainGroup& group = groups[file.Chain];
    group.Chain = file.Chain;
    if (file.Level == 0) group.Started = file.Moment;
    group.Newest = std::max(group.Newest, file.Moment);
    group.AllByPlan = group.AllByPlan && file.ByPlan;
    group.Files.push_back(&file);
  }
  std::vector<TChainGroup> chains;
  for (auto& [name, group] : groups) {
    // A chain whose level-0 file is gone dates from its oldest file.
    if (group.Started == 0)
      for (const TChainFile* file : group.Files)
        group.Started = group.Started == 0 ? file->Moment : std::min(group.Started, file->Moment);
    chains.push_back(std::move(group));
  }
  std::sort(chains.begin(), chains.end(), [](const TChainGroup& a, const TChainGroup& b) {
    return a.Started != b.Started ? a.Started > b.Started : a.Chain > b.Chain;
  });
  return chains;
}

}  // namespace

std::vector<std::string> ChainFilesToRemove(const std::vector<TChainFile>& files, const TRetentionRule& rule,
                                            TDateTime now, const std::string& justMadeChain) {
  if (!rule.Active()) return {};
  std::vector<const TChainFile*> removed;
  const std::vector<TChainGroup> chains = GroupByChain(files);
  for (std::size_t rank = 1; rank < chains.size(); ++rank) {
    const TChainGroup& chain = chains[rank];
    if (chain.Chain == justMadeChain || !chain.AllByPlan) continue;
    const bool beyondCount = rule.KeepLast > 0 && rank >= static_cast<std::size_t>(rule.KeepLast);
    const bool tooOld = rule.KeepDays > 0 && chain.Newest < now - rule.KeepDays;
    if (beyondCount || tooOld) removed.insert(removed.end(), chain.Files.begin(), chain.Files.end());
  }
  std::stable_sort(removed.begin(), removed.end(),
                   [](const TChainFile* a, const TChainFile* b) { return a->Level > b->Level; });
  std::vector<std::string> names;
  for (const TChainFile* file : removed) names.push_back(file->File);
  return names;
}
