#pragma once
// What the ways of making a copy on this computer share: the job it is made
// for and the turns of the window while it arrives.

#include <cstdint>
#include <functional>
#include <string>

#include "runner/job_paths.h"
#include "service/protocol.h"
#include "service/service_options.h"

// The job a copy on this computer is made for, as its requests are
// configured from it.
struct TLocalCopySource {
  TServerPath Database;
  TServerPath BackupFile;
  TProtocol Protocol = TProtocol::Local;
  std::string UserName;
  std::string Password;
  TBackupOptions Options;
};

// One turn of the window while a copy arrives, with the bytes received so
// far: a progress line now and then, pending events handled.
using TCopyTurn = std::function<void(std::uint64_t bytesReceived)>;
