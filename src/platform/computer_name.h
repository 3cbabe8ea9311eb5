#pragma once
// This computer's network name.

#include <string>

// The host name as the system reports it (gethostname), or empty text when
// the call fails.
std::string ComputerName();
