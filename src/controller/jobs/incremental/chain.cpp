#include "controller/jobs/incremental/chain.h"

#include <algorithm>
#include <filesystem>

#include "controller/history/job_recorder.h"
#include "controller/jobs/incremental/incremental_names.h"
#include "platform/files.h"
#include "service/nbackup_file.h"

namespace {

std::string NormalPath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

// The file of `level` in `file`'s folder whose GUID `guid` is; empty when
// none is there.
std::string BaseInFolder(const std::string& file, int level, const TBackupGuid& guid) {
  return BackupByGuid(std::filesystem::path(file).parent_path().string(), level, guid, file);
}

// One step down the chain from `link`; the base's name, or a refusal.
std::string BaseOf(const TChainLink& link, const std::optional<TNBackupHeader>& header, std::string& refusal) {
  std::string base = link.Record ? link.Record->Base : std::string();
  // Unknown to the history, or gone from the name it has there (set apart
  // by an earlier version): the file that is the base by its GUID.
  if ((base.empty() || !FileExists(base)) && header) {
    const std::string found = BaseInFolder(link.File, link.Level - 1, header->BaseGuid);
    if (!found.empty()) base = found;
  }
  if (base.empty()) {
    refusal = LinkText(UnknownLinkText, link.File);
    return {};
  }
  if (!FileExists(base)) {
    refusal = LinkText(MissingLinkText, base);
    return {};
  }
  // The history's word checked against the files' own.
  if (header && !BackupHoldsGuid(base, link.Level - 1, header->BaseGuid)) {
    refusal = LinkText(ForeignLinkText, base);
    return {};
  }
  return base;
}

}  // namespace

bool BackupHoldsGuid(const std::string& file, int level, const TBackupGuid& guid) {
  if (level == 0) return LevelZeroHoldsGuid(file, guid);
  const auto header = ReadNBackupHeader(file);
  return header && header->Level == level && header->Guid == guid;
}

std::string BackupByGuid(const std::string& folder, int level, const TBackupGuid& guid, const std::string& except) {
  const std::string dir = IncludeTrailingPathDelimiter(folder);
  const auto names = FilesInFolder(dir);
  if (!names) return {};
  std::string setApart;
  for (const std::string& name : *names) {
    const std::string path = dir + name;
    if (path == except || !IsIncrementalFileSetApart(path) || !BackupHoldsGuid(path, level, guid)) continue;
    // A file under its own name before one the program set apart.
    if (IsIncrementalFile(path)) return path;
    if (setApart.empty()) setApart = path;
  }
  return setApart;
}

std::string LinkText(const char* text, const std::string& file) {
  const std::string_view t(text);
  const std::size_t at = t.find("%s");
  return std::string(t.substr(0, at)) + file + std::string(t.substr(at + 2));
}

std::optional<THistoryRecord> PhysicalBackupRecord(const std::vector<THistoryRecord>& history,
                                                   const std::string& file) {
  const std::string wanted = NormalPath(file);
  for (auto it = history.rbegin(); it != history.rend(); ++it)
    if (it->Succeeded() && it->Kind == HistoryKindNBackup && it->Level && NormalPath(it->File) == wanted) return *it;
  return std::nullopt;
}

TChain FindChain(const std::string& file, const std::vector<THistoryRecord>& history) {
  TChain chain;
  std::string current = file;
  for (int steps = 0; steps <= MaxIncrementalLevel + 1; ++steps) {
    if (!FileExists(current)) {
      chain.Refusal = LinkText(MissingLinkText, current);
      return chain;
    }
    TChainLink link{current, 0, PhysicalBackupRecord(history, current)};
    const std::optional<TNBackupHeader> header = ReadNBackupHeader(current);
    if (!header && !link.Record) {
      chain.Refusal = LinkText(NotPhysicalText, current);
      return chain;
    }
    link.Level = header ? header->Level : *link.Record->Level;
    chain.Links.insert(chain.Links.begin(), link);
    if (link.Level == 0) return chain;
    current = BaseOf(link, header, chain.Refusal);
    if (current.empty()) return chain;
  }
  chain.Refusal = LinkText(UnknownLinkText, file);
  return chain;
}

std::string ChangedLinkRefusal(const std::vector<TChainLink>& links) {
  for (const TChainLink& link : links) {
    if (!link.Record) continue;
    const TFileFacts now = FileFactsOf(link.File);
    const bool sizeDiffers = link.Record->Size && now.Size != link.Record->Size;
    const bool hashDiffers = !link.Record->Sha256.empty() && now.Sha256 != link.Record->Sha256;
    if (sizeDiffers || hashDiffers) return LinkText(ChangedLinkText, link.File);
  }
  return {};
}
