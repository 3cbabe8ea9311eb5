#include "platform/computer_name.h"

#include <unistd.h>

#include <climits>

std::string ComputerName() {
  // HOST_NAME_MAX excludes the terminator; the extra byte guarantees one even
  // when the system truncates a longer name without terminating it.
  char name[HOST_NAME_MAX + 2] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return std::string(name);
}

long ProcessId() { return static_cast<long>(getpid()); }
