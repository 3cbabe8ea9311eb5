#include "platform/clock.h"

#include <ctime>

namespace {
std::function<TDateTime()>& ClockFunction() {
  static std::function<TDateTime()> clock;
  return clock;
}
}  // namespace

TDateTime SystemNow() {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm t {};
  localtime_r(&ts.tv_sec, &t);
  TDateTime date = 0, time = 0;
  TryEncodeDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, date);
  // A leap second shows as :60; keep it inside the minute.
  TryEncodeTime(t.tm_hour, t.tm_min, t.tm_sec > 59 ? 59 : t.tm_sec, static_cast<int>(ts.tv_nsec / 1000000), time);
  return date + time;
}

TDateTime Now() {
  const auto& clock = ClockFunction();
  return clock ? clock() : SystemNow();
}

void SetClock(std::function<TDateTime()> clock) { ClockFunction() = std::move(clock); }
