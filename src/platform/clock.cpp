#include "platform/clock.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace {

std::function<TDateTime()>& ClockFunction() {
  static std::function<TDateTime()> clock;
  return clock;
}

std::function<TClockReading()>& InstantFunction() {
  static std::function<TClockReading()> clock;
  return clock;
}

std::int64_t MillisecondsOf(auto timePoint) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(timePoint.time_since_epoch()).count();
}

TClockReading SystemReading() {
  return {MillisecondsOf(std::chrono::system_clock::now()), MillisecondsOf(std::chrono::steady_clock::now())};
}

}  // namespace

TDateTime LocalDateTimeOf(std::int64_t utcMs) {
  std::int64_t seconds = utcMs / 1000;
  std::int64_t msec = utcMs % 1000;
  if (msec < 0) {
    msec += 1000;
    --seconds;
  }
  const auto whole = static_cast<time_t>(seconds);
  struct tm t {};
  localtime_r(&whole, &t);
  TDateTime date = 0, time = 0;
  TryEncodeDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, date);
  // A leap second shows as :60; keep it inside the minute.
  TryEncodeTime(t.tm_hour, t.tm_min, t.tm_sec > 59 ? 59 : t.tm_sec, static_cast<int>(msec), time);
  return date + time;
}

std::int64_t UtcMsOf(TDateTime local) {
  std::tm t = TmOf(local);
  return static_cast<std::int64_t>(mktime(&t)) * 1000 + DecodeDateTime(local).MSec;
}

TDateTime SystemNow() { return LocalDateTimeOf(SystemReading().UtcMs); }

TClockReading ReadClock() {
  if (const auto& local = ClockFunction()) {
    const TDateTime moment = local();
    return {UtcMsOf(moment), std::llround(moment * static_cast<double>(MSecsPerDay))};
  }
  const auto& instant = InstantFunction();
  return instant ? instant() : SystemReading();
}

TDateTime Now() {
  const auto& clock = ClockFunction();
  return clock ? clock() : LocalDateTimeOf(ReadClock().UtcMs);
}

void SetClock(std::function<TDateTime()> clock) { ClockFunction() = std::move(clock); }

void SetInstantClock(std::function<TClockReading()> clock) { InstantFunction() = std::move(clock); }
