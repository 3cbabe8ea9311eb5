#include "runner/local_copy_job.h"

#include <chrono>
#include <cstdio>

#include "platform/files.h"
#include "platform/mount_table.h"
#include "platform/text.h"
#include "runner/job_output.h"
#include "runner/job_requests.h"
#include "runner/local_copy_gbak.h"
#include "runner/local_copy_writer.h"
#include "runner/log_pane.h"
#include "runner/ui_seams.h"

namespace {

std::string Megabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

// A pane line "<verb> <n> MB" at most every two seconds while bytes flow.
class TProgressLines {
 public:
  TProgressLines(std::string verb, TJobOutput& output) : FVerb(std::move(verb)), FOutput(output) {}
  void Update(std::uint64_t total) {
    const auto now = std::chrono::steady_clock::now();
    if (now - FLast < std::chrono::seconds(2)) return;
    FLast = now;
    FOutput.AddPaneLine(FVerb + " " + Megabytes(total));
  }

 private:
  std::string FVerb;
  TJobOutput& FOutput;
  std::chrono::steady_clock::time_point FLast = std::chrono::steady_clock::now();
};

}  // namespace

std::string LocalCopyPathOf(const std::string& folder, const std::string& backupFileName) {
  return IncludeTrailingPathDelimiter(folder) + CompressedCopyName(backupFileName);
}

bool RestoreFedFromThisComputer(const std::string& backupFile, const TServerPath& backup, const TServerPath& database) {
  return IsCompressedCopy(backupFile) || !SameTextAscii(backup.ServerName, database.ServerName);
}

bool RestoreFedFromThisComputer(const std::string& backupFile, const std::string& database) {
  const std::string computer = LocalComputerName();
  const std::vector<TMountEntry> mounts = ReadMountTable();
  return RestoreFedFromThisComputer(backupFile, ServerPathOf(backupFile, computer, mounts),
                                    ServerPathOf(database, computer, mounts));
}

namespace {

// The backup file streamed by the server's service manager into `writer`.
void StreamInto(TIBBackupStreamService& request, TLocalCopyWriter& writer, const TCopyTurn& turn) {
  request.SetActive(true);
  request.ServiceStart();
  const auto toCopy = [&](const char* data, std::size_t size) { writer.Write(data, size); };
  while (!request.OutputEnded()) {
    // The server hands its output on in pieces of a few kilobytes: the
    // progress is told (and a stop looked for) a few times a second.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    do {
      request.ReadStreamPiece(toCopy);
    } while (!request.OutputEnded() && std::chrono::steady_clock::now() < until);
    turn(request.BytesReceived());
  }
}

TLocalCopyInfo CommitAndShow(TLocalCopyWriter& writer, TJobOutput& output) {
  const TLocalCopyInfo info = writer.Commit();
  const double share =
      info.InputBytes == 0 ? 0.0 : 100.0 * static_cast<double>(info.OutputBytes) / static_cast<double>(info.InputBytes);
  char percent[16];
  std::snprintf(percent, sizeof percent, "%.1f%%", share);
  output.AddPaneLine("");
  output.AddPaneLine("Received " + Megabytes(info.InputBytes) + ", compressed to " + Megabytes(info.OutputBytes) +
                     " (" + percent + ")");
  output.AddPaneLine("SHA-256: " + info.Sha256 + " in " + info.ChecksumFile);
  output.AddPaneLine("**** COPY COMPLETE ****");
  return info;
}

}  // namespace

TLocalCopyInfo MakeLocalCopy(const TLocalCopySource& source, const std::string& copyPath, TJobOutput& output) {
  // A job asked to stop makes no copy any more.
  output.ThrowIfStopped();
  // Created before any request starts: a folder that takes no file stops
  // the copy before the server does any work.
  TLocalCopyWriter writer(copyPath);
  TProgressLines progress("Received", output);
  const TCopyTurn turn = [&](std::uint64_t bytesReceived) {
    progress.Update(bytesReceived);
    output.ThrowIfStopped();
  };
  std::string refusal;
  std::unique_ptr<TIBControlAndQueryService> request;
  if (!CopyWithGbakHere(source, writer, turn, refusal, output)) {
    output.AddPaneLine("Copy made by: the server's service manager, streamed" +
                       (refusal.empty() ? std::string() : " (" + refusal + ")"));
    request = MakeBackupRequest(source.Database, source.BackupFile, source.Protocol, source.UserName, source.Password,
                                source.Options, true);
    StreamInto(static_cast<TIBBackupStreamService&>(*request), writer, turn);
  }
  const TLocalCopyInfo info = CommitAndShow(writer, output);
  // The copy stands: a failed detach is only reported.
  try {
    if (request) ReleaseRequest(*request);
  } catch (const std::exception& error) {
    output.AddPaneLine(std::string("ERROR: ") + error.what());
  }
  return info;
}

TRestoreFeed::TRestoreFeed(const std::string& backupFile, TJobOutput& output)
    : FReader(std::make_unique<TLocalCopyReader>(backupFile)), FOutput(output) {
  FSha256 = FReader->VerifyChecksum();
}

void TRestoreFeed::ShowSource() const {
  FOutput.AddPaneLine("Backup file on this computer: " + FReader->Path());
  FOutput.AddPaneLine(FSha256.empty() ? std::string("No checksum file beside it, sent unchecked")
                                      : "SHA-256 checked: " + FSha256);
  FOutput.AddPaneLine("");
}

void TRestoreFeed::Start() { FReader->Start(); }

TStreamSource TRestoreFeed::Source() {
  return [this](char* buffer, std::size_t capacity) { return FReader->Read(buffer, capacity); };
}

void TRestoreFeed::ShowSent() const {
  FOutput.AddPaneLine("Sent " + Megabytes(FReader->BytesDelivered()) + " from " + FReader->Path());
}
