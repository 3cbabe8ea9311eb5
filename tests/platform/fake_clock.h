#pragma once
// A clock that tests set and move by hand: installed as the program's clock
// for the life of the object, the system clock put back when it goes.
//
// Two modes. A local clock (the default) is a local moment and nothing else.
// An instant clock is a UTC instant that the process's time zone (TZ) turns
// into local time, beside a monotonic count: Pass moves both, as real time
// passing does; SetWall moves the instant alone, as setting the clock by hand
// does. Summer-time changes come from the time zone.

#include <cstdint>

#include "platform/clock.h"
#include "platform/date_time.h"

class TFakeClock {
 public:
  explicit TFakeClock(TDateTime moment = 0) : FMoment(moment) {
    SetClock([this] { return FMoment; });
  }
  ~TFakeClock() {
    SetClock(nullptr);
    SetInstantClock(nullptr);
  }
  TFakeClock(const TFakeClock&) = delete;
  TFakeClock& operator=(const TFakeClock&) = delete;

  // The local moment.
  TDateTime Now() const { return FInstant ? LocalDateTimeOf(FUtcMs) : FMoment; }
  // Local clock: the moment. Instant clock: the local moment's instant, as
  // setting the clock by hand does.
  void Set(TDateTime moment) {
    if (FInstant) {
      FUtcMs = UtcMsOf(moment);
    } else {
      FMoment = moment;
    }
  }
  // Moves the clock on by `days` (a fraction for hours, minutes, seconds);
  // on an instant clock real time passes.
  void Advance(TDateTime days) {
    if (FInstant) {
      Pass(static_cast<std::int64_t>(days * static_cast<double>(MSecsPerDay) + (days < 0 ? -0.5 : 0.5)));
    } else {
      FMoment += days;
    }
  }

  // Turns a local clock into an instant clock at `utcMs` (the monotonic
  // count starts at 0).
  void SetInstantMode(std::int64_t utcMs) {
    SetClock(nullptr);
    FInstant = true;
    FUtcMs = utcMs;
    FSteadyMs = 0;
    SetInstantClock([this] { return TClockReading{FUtcMs, FSteadyMs}; });
  }

  // Instant clock only.
  std::int64_t UtcMs() const { return FUtcMs; }
  void Pass(std::int64_t ms) {
    FUtcMs += ms;
    FSteadyMs += ms;
  }
  void SetWall(std::int64_t utcMs) { FUtcMs = utcMs; }

 private:
  bool FInstant = false;
  TDateTime FMoment = 0;
  std::int64_t FUtcMs = 0;
  std::int64_t FSteadyMs = 0;
};
