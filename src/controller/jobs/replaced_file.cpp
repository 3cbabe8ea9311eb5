#include "controller/jobs/replaced_file.h"

#include <cerrno>
#include <cstring>

#include "controller/jobs/job_record.h"
#include "platform/exception.h"
#include "platform/file_aside.h"
#include "platform/files.h"
#include "platform/folder_rights.h"
#include "runner/job_output.h"

TReplacedFile::TReplacedFile(std::string path, TJobOutput& output, TJobRecordFile* record)
    : FPath(std::move(path)), FOutput(output), FRecord(record) {
  if (FRecord && !FPath.empty()) FRecord->NoteReplaced(FPath);
}

TReplacedFile::~TReplacedFile() {
  if (FAside.empty()) return;
  try {
    PutBack();
  } catch (...) {
    // The copy stays under its aside name; nothing is lost.
  }
}

void TReplacedFile::MoveAside() {
  if (!FAside.empty() || FPath.empty()) return;
  // A name this program cannot look up may still be a file the job would
  // overwrite (the server writes where this program may not look): the job
  // must not start then.
  if (const int error = LookUpError(FPath); error != 0) {
    const std::string text =
        "Cannot tell whether " + FPath + " exists, to keep it if the job fails: " + std::strerror(error);
    const std::string refused = RefusedFolderRight(FolderOf(FPath), TFolderNeed::Enter);
    throw EOSError(error, refused.empty() ? text : text + ". " + refused);
  }
  if (!FileExists(FPath)) return;
  FAside = ::MoveAside(FPath, [this](const std::string& aside) {
    if (FRecord) FRecord->NoteAside(FPath, aside);
  });
  if (FRecord) FRecord->NoteAsideMoved(FAside);
}

void TReplacedFile::PutBack() {
  const std::string aside = FAside;
  if (!RenameNoReplace(aside, FPath)) {
    const int error = errno;
    throw EOSError(error, RenameErrorText("Cannot put " + aside + " back as " + FPath, error, FPath));
  }
  FAside.clear();
}

void TReplacedFile::Finish(bool succeeded, bool jobStarted) {
  try {
    if (succeeded) {
      if (!FAside.empty()) DeleteFile(FAside);
      FAside.clear();
      return;
    }
    if (jobStarted && FileExists(FPath)) FFailed = MoveToFreeName(FPath, FPath + ".failed");
    if (!FAside.empty()) PutBack();
  } catch (const std::exception& e) {
    std::string message = e.what();
    if (!FAside.empty()) message += ". The previous file is kept as " + FAside;
    FAside.clear();  // reported: the copy keeps the name the message gives
    const std::string text = "ERROR: " + message;
    FOutput.AddPaneLine(text);
    FOutput.ShowJobMessage(text);
  }
}
