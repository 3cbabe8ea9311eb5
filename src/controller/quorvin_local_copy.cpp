// The outcome of a copy on this computer and its record.

#include "controller/quorvin.h"
#include "platform/files.h"
#include "runner/job_paths.h"
#include "runner/local_copy_job.h"

void TQuorvin::LocalCopyOutcome(const std::optional<TLocalCopyInfo>& copy, bool jobOk) {
  if (!copy || !FileExists(copy->File)) {
    LocalCopyNotMade(LocalCopyPathOf(LocalCopyDir, LastPathComponent(BackFile)));
    return;
  }
  LocalCopyMade(*copy);
  if (!LocalCopyOnly || !jobOk) return;
  // The copy is the backup: the window offers it for a restore.
  BackFile = copy->File;
  LastBack = BackFile;
}

void TQuorvin::LocalCopyMade(const TLocalCopyInfo& copy) {
  LastLocalCopy = copy;
  SaveStrToLog(LogStamp() + " Копия на этом компьютере создана. " + copy.File);
}

void TQuorvin::LocalCopyNotMade(const std::string& copyPath) {
  SaveStrToLog(LogStamp() + " Копия на этом компьютере НЕ создана. " + copyPath);
}
