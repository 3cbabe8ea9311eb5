#pragma once
// The clock seams: the current local date and time, and beneath it a reading
// of the system's clocks (the UTC instant and a monotonic count). Tests move
// either freely: a local moment alone (SetClock), or an instant that the time
// zone of the process (TZ) turns into local time, with a monotonic count that
// moves only as real time passes (SetInstantClock).

#include <cstdint>
#include <functional>

#include "platform/date_time.h"

struct TClockReading {
  // Milliseconds since 1970-01-01 00:00 UTC.
  std::int64_t UtcMs = 0;
  // Monotonic milliseconds from any origin: unmoved by a wall clock set by
  // hand or by a change of summer time.
  std::int64_t SteadyMs = 0;
};

// The current local date and time: the installed local clock, else the
// reading's instant in local time.
TDateTime Now();
// The current reading. With a local clock installed, the instant is that
// local moment's (mktime) and the monotonic count follows the local moment,
// so a test that only sets local moments never sees the wall clock jump.
TClockReading ReadClock();

// Installs a replacement local clock; an empty function puts the system
// clock back.
void SetClock(std::function<TDateTime()> clock);
// Installs a replacement reading (used when no local clock is installed); an
// empty function puts the system's clocks back.
void SetInstantClock(std::function<TClockReading()> clock);

TDateTime SystemNow();
// The local date and time of a UTC instant under the current time zone.
TDateTime LocalDateTimeOf(std::int64_t utcMs);
// The UTC instant of a local date and time (the earlier one where the local
// time occurs twice, the moment after the gap where it does not occur).
std::int64_t UtcMsOf(TDateTime local);
