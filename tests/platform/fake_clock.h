#pragma once
// A clock that tests set and move by hand: installed as the program's clock
// for the life of the object, the system clock put back when it goes.

#include "platform/clock.h"
#include "platform/date_time.h"

class TFakeClock {
 public:
  explicit TFakeClock(TDateTime moment = 0) : FMoment(moment) {
    SetClock([this] { return FMoment; });
  }
  ~TFakeClock() { SetClock(nullptr); }
  TFakeClock(const TFakeClock&) = delete;
  TFakeClock& operator=(const TFakeClock&) = delete;

  TDateTime Now() const { return FMoment; }
  void Set(TDateTime moment) { FMoment = moment; }
  // Moves the clock on by `days` (a fraction for hours, minutes, seconds).
  void Advance(TDateTime days) { FMoment += days; }

 private:
  TDateTime FMoment;
};
