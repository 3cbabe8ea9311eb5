#pragma once
// This computer's network name, and this process's number on it.

#include <string>

// The host name as the system reports it (gethostname), or empty text when
// the call fails.
std::string ComputerName();

// The process id (getpid).
long ProcessId();
