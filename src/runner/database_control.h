#pragma once
// Shutting a job's database down before the job and bringing it back on line
// after it, through the server's service manager.

#include <chrono>
#include <cstdint>
#include <string>

#include "service/protocol.h"

class TJobOutput;

// The probe by which both steps check that the database can be reached over
// the server's disk share: "\\" + server + "\" + drive (the part of the path
// before its first ":") + "\" + the rest after the ":". DBHOST with
// D:\data\base.gdb gives \\DBHOST\D\\data\base.gdb.
std::string DatabaseSharePath(const std::string& serverName, const std::string& localPath);

// Forced shutdown with a wait of 10 seconds. True when done, and also when
// skipped because the file could not be reached (a pane line says so); false
// when the server or the client library reported an error (message box and
// pane line).
bool StopServerDatabase(const std::string& serverName, const std::string& localPath, const std::string& userName,
                        const std::string& password, TProtocol protocol, TJobOutput& output);

// Brings the database back on line; results as StopServerDatabase. A server
// that does not answer (its guardian restarting it after a crash) is tried
// again for up to RestartPatience, with a pane line saying so; a refused
// login or any other answer of the server is not.
bool StartServerDatabase(const std::string& serverName, const std::string& localPath, const std::string& userName,
                         const std::string& password, TProtocol protocol, TJobOutput& output);
inline constexpr std::chrono::seconds RestartPatience{30};

enum class TStepOutcome { Done, Skipped, Failed };
struct TStepResult {
  TStepOutcome Outcome = TStepOutcome::Done;
  // The error's message when the step failed.
  std::string Error;
};

// StartServerDatabase for a caller that reports the outcome itself: the
// same pane lines, no message box; Skipped when the file cannot be reached.
// Tried again as well while the server still has another database open under
// the name, shut down (a restore it carries on after its client was killed;
// once it has ended, the name is the file's again).
TStepResult BringDatabaseOnline(const std::string& serverName, const std::string& localPath,
                                const std::string& userName, const std::string& password, TProtocol protocol,
                                TJobOutput& output);

// The reachability check both steps use; replaceable so tests can decide it.
// The default resolves the share path on this computer (SharePathFileExists).
using TShareProbe = bool (*)(const std::string& sharePath);
void SetShareProbe(TShareProbe probe);
// The check itself: true when the steps would find the database's file.
bool DatabaseFileReachable(const std::string& serverName, const std::string& localPath);
