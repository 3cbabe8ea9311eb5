#pragma once
// A file that a job is about to recreate (an earlier backup of the same name,
// the database a restore replaces). It is moved aside before the job instead
// of being deleted, and after the job either removed (the job succeeded) or
// put back (it failed), so a failed job never costs the previous file.

#include <string>

class TJobOutput;
class TJobRecordFile;

class TReplacedFile {
 public:
  // Problems are reported on `output`; `record` (when given) is the record of
  // the job in progress, which learns the file and where its earlier one
  // goes, before and after the move.
  TReplacedFile(std::string path, TJobOutput& output, TJobRecordFile* record = nullptr);
  // Puts the previous file back if Finish was never reached.
  ~TReplacedFile();
  TReplacedFile(const TReplacedFile&) = delete;
  TReplacedFile& operator=(const TReplacedFile&) = delete;

  // Moves an existing file out of the way (same folder, a fresh name).
  // Raises EOSError when it cannot be moved: the job must not start then.
  void MoveAside();

  // After the job. On success the moved-aside copy is removed. Otherwise a
  // file the started job left under the path is renamed to path + ".failed"
  // (or ".failed.2" …), and the moved-aside copy is put back. Problems are
  // shown as "ERROR: %s" in the pane and in a message box.
  void Finish(bool succeeded, bool jobStarted);

  const std::string& Aside() const { return FAside; }
  const std::string& Failed() const { return FFailed; }

 private:
  void PutBack();

  std::string FPath;
  TJobOutput& FOutput;
  TJobRecordFile* FRecord;
  std::string FAside;
  std::string FFailed;
};
