#pragma once
// The exit status of quorvinctl, as scripts and monitoring read it.

#include "platform/exception.h"

inline constexpr int ExitSuccess = 0;
// A job failed or could not run; status: WARNING.
inline constexpr int ExitFailure = 1;
// Wrong usage; status: CRITICAL.
inline constexpr int ExitUsage = 2;
// status: the state cannot be told (the settings file cannot be read).
inline constexpr int ExitUnknown = 3;
// restore refused: it would replace an existing database (no --replace).
inline constexpr int ExitWouldReplace = 4;

// A restore that would replace an existing database without --replace.
class EWouldReplace : public Exception {
 public:
  using Exception::Exception;
};
