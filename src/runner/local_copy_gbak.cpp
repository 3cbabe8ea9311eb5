#include "runner/local_copy_gbak.h"

#include <chrono>
#include <exception>
#include <memory>
#include <regex>
#include <vector>

#include "platform/child_process.h"
#include "platform/exception.h"
#include "platform/process_signals.h"
#include "runner/job_outcome.h"
#include "runner/job_output.h"
#include "runner/job_requests.h"
#include "runner/job_stop.h"
#include "runner/local_copy_fifo.h"
#include "runner/ui_seams.h"
#include "service/client_library.h"

namespace {

constexpr auto TurnLength = std::chrono::milliseconds(100);

// gbak's switch for each backup option the job's switches can select.
struct TGbakSwitch {
  TBackupOption Option;
  const char* Switch;
};
// clang-format off
constexpr TGbakSwitch GbakSwitches[] = {
    {TBackupOption::IgnoreChecksums,     "-ignore"},
    {TBackupOption::IgnoreLimbo,         "-limbo"},
    {TBackupOption::MetadataOnly,        "-meta_data"},
    {TBackupOption::NoGarbageCollection, "-garbage_collect"},
    {TBackupOption::OldMetadataDesc,     "-old_descriptions"},
    {TBackupOption::NonTransportable,    "-nt"},
    {TBackupOption::ConvertExtTables,    "-convert"},
};
// clang-format on

// The job's backup request as the server's backup would be made, verbose:
// its options and database are the copy's.
std::unique_ptr<TIBBackupService> BackupRequestOf(const TLocalCopySource& source) {
  return MakeBackupRequest(source.Database, source.BackupFile, source.Protocol, source.UserName, source.Password,
                           source.Options);
}

// The pipe gbak writes into; null with `refusal` set when none can be made.
std::unique_ptr<TLocalCopyFifo> OpenFifo(TLocalCopyWriter& writer, std::string& refusal) {
  try {
    return std::make_unique<TLocalCopyFifo>(writer);
  } catch (const std::exception& error) {
    refusal = "no named pipe can be made: " + MessageOf(error);
    return nullptr;
  }
}

// The embedded engine's gbak, run by the service manager in this process.
bool CopyWithEmbeddedEngine(const TLocalCopySource& source, TLocalCopyWriter& writer, const TCopyTurn& turn,
                            std::string& refusal, TJobOutput& output) {
  std::unique_ptr<TIBBackupService> request;
  try {
    request = BackupRequestOf(source);
    request->SetActive(true);
  } catch (const std::exception& error) {
    refusal = "the embedded engine cannot be used: " + MessageOf(error);
    return false;
  }
  // Made after the request, so it goes first when anything fails: the pipe
  // closed makes a gbak still writing fail instead of waiting for ever.
  std::unique_ptr<TLocalCopyFifo> fifo = OpenFifo(writer, refusal);
  if (!fifo) return false;
  output.AddPaneLine("Copy made by: gbak of the embedded engine on this computer");
  request->BackupFile.Assign({fifo->Path()});
  // gbak writes into the pipe on a thread of this process.
  IgnoreBrokenPipes();
  request->ServiceStart();
  TGbakLines lines(output);
  const auto finish = [&] { fifo->Finish([&] { turn(fifo->BytesRead()); }); };
  try {
    // A job that can be stopped waits on the engine a second at most.
    const std::uint16_t wait = output.Stoppable() ? StoppableWaitSeconds : 0;
    while (!request->OutputEnded()) {
      std::string line;
      bool got = true;
      if (wait > 0)
        got = request->NextOutputLineWithin(wait, line);
      else
        line = request->NextOutputLine();
      if (got && !request->OutputEnded()) lines.Add(line);
      turn(fifo->BytesRead());
    }
  } catch (const std::exception&) {
    // gbak's error about the broken pipe follows from the copy's own
    // failure, which is the one to report.
    if (fifo->Failed()) finish();
    throw;
  }
  finish();
  lines.Check(fifo->BytesRead());
  return true;
}

// Why gbak at `program` must not make the copy: a version other than the
// client library's could write a backup file the server cannot restore.
// Empty when the versions match.
std::string VersionMismatch(const std::string& program, const TCopyTurn& turn) {
  std::string output;
  try {
    TChildProcess probe(program, {"-z"}, "");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (probe.ReadOutput(output, TurnLength) && std::chrono::steady_clock::now() < until) turn(0);
  } catch (const std::exception& error) {
    return MessageOf(error);
  }
  const std::string ours = FirebirdVersionIn(ClientLibraryVersion());
  const std::string theirs = FirebirdVersionIn(output);
  if (!theirs.empty() && theirs == ours) return {};
  return program + " is of " + (theirs.empty() ? "an unknown version" : theirs) + ", the client library of " +
         (ours.empty() ? "an unknown version" : ours);
}

std::vector<std::string> ProgramArguments(const TLocalCopySource& source, const TIBBackupService& request,
                                          const std::string& database, const std::string& backupFile) {
  std::vector<std::string> arguments{"-b", "-v"};
  if (!source.UserName.empty()) arguments.insert(arguments.end(), {"-user", source.UserName});
  // Through standard input: a command line is readable by every user.
  if (!source.Password.empty()) arguments.insert(arguments.end(), {"-fetch_password", "stdin"});
  for (const TGbakSwitch& entry : GbakSwitches)
    if (request.Options.Contains(entry.Option)) arguments.push_back(entry.Switch);
  arguments.push_back(database);
  arguments.push_back(backupFile);
  return arguments;
}

// gbak's output, line by line, until it closes it; gbak is asked to end as
// soon as the copy has failed.
void ReadProgramOutput(TChildProcess& child, const TLocalCopyFifo& fifo, TGbakLines& lines, const TCopyTurn& turn) {
  std::string pending;
  bool terminated = false;
  for (bool more = true; more;) {
    more = child.ReadOutput(pending, TurnLength);
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
      lines.Add(pending.substr(0, end > 0 && pending[end - 1] == '\r' ? end - 1 : end));
    }
    if (fifo.Failed() && !terminated) {
      child.Terminate();
      terminated = true;
    }
    turn(fifo.BytesRead());
  }
  if (!pending.empty()) lines.Add(pending);
}

std::string ExitText(int exitCode) {
  return exitCode < 0 ? "gbak on this computer was ended by signal " + std::to_string(-exitCode)
                      : "gbak on this computer ended with exit code " + std::to_string(exitCode);
}

// Firebird's gbak program, reading the database from its server over TCP.
bool CopyWithGbakProgram(const TLocalCopySource& source, TLocalCopyWriter& writer, const TCopyTurn& turn,
                         std::string& refusal, TJobOutput& output) {
  std::unique_ptr<TIBBackupService> request;
  try {
    request = BackupRequestOf(source);  // loads the client library, whose version is compared
  } catch (const std::exception& error) {
    refusal = MessageOf(error);
    return false;
  }
  const std::string program = FindProgram("gbak");
  if (program.empty()) {
    refusal = "no gbak program on this computer";
    return false;
  }
  if (!(refusal = VersionMismatch(program, turn)).empty()) return false;
  std::unique_ptr<TLocalCopyFifo> fifo = OpenFifo(writer, refusal);
  if (!fifo) return false;
  const std::string database = source.Database.ServerName + ":" + source.Database.LocalPath;
  std::unique_ptr<TChildProcess> child;
  try {
    child = std::make_unique<TChildProcess>(program, ProgramArguments(source, *request, database, fifo->Path()),
                                            source.Password + "\n");
  } catch (const std::exception& error) {
    refusal = MessageOf(error);
    return false;
  }
  output.AddPaneLine("Copy made by: gbak on this computer (" + program + "), reading " + database + " over TCP");
  TGbakLines lines(output);
  ReadProgramOutput(*child, *fifo, lines, turn);
  const int exitCode = child->Wait();
  fifo->Finish([&] { turn(fifo->BytesRead()); });
  if (exitCode != 0 && lines.Failure().empty()) throw Exception(ExitText(exitCode));
  lines.Check(fifo->BytesRead());
  return true;
}

}  // namespace

bool CopyWithGbakHere(const TLocalCopySource& source, TLocalCopyWriter& writer, const TCopyTurn& turn,
                      std::string& refusal, TJobOutput& output) {
  refusal.clear();
  switch (source.Protocol) {
    case TProtocol::Local: return CopyWithEmbeddedEngine(source, writer, turn, refusal, output);
    case TProtocol::TCP: return CopyWithGbakProgram(source, writer, turn, refusal, output);
    default: return false;  // no gbak here speaks SPX or Named Pipes
  }
}

void TGbakLines::Add(const std::string& line) {
  FOutput.AddPaneLine(line);
  if (FFailure.empty()) FFailure = FailureReportedBy(line);
  static const std::regex Written("finishing\\. ([0-9]+) bytes written");
  std::smatch match;
  if (std::regex_search(line, match, Written)) FBytesWritten = std::stoull(match[1].str());
}

void TGbakLines::Check(std::uint64_t bytesReceived) const {
  if (!FFailure.empty()) throw Exception("The copy on this computer did not complete, gbak reported: " + FFailure);
  if (bytesReceived == 0) throw Exception("The copy on this computer did not complete: no backup file arrived");
  if (FBytesWritten && *FBytesWritten != bytesReceived) {
    throw Exception("The copy on this computer is incomplete: gbak wrote " + std::to_string(*FBytesWritten) +
                    " bytes, " + std::to_string(bytesReceived) + " arrived");
  }
}

std::string FirebirdVersionIn(const std::string& versionText) {
  static const std::regex Version("Firebird [0-9]+\\.[0-9]+");
  std::smatch match;
  return std::regex_search(versionText, match, Version) ? match[0].str() : std::string();
}
