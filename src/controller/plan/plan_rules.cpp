#include "controller/plan/plan_rules.h"

#include <cmath>

namespace {

constexpr std::int64_t MinutesPerDay = 24 * 60;
// Beyond this the wall clock is taken as set apart from the real time.
constexpr std::int64_t JumpMs = 2 * 60 * 1000;
// How far the next plan backup is looked for.
constexpr std::int64_t LookAheadMinutes = 8 * MinutesPerDay;
constexpr std::int64_t MsPerMinute = 60 * 1000;

// hour × 100000 + minute × 1000 + second × 10
std::int32_t MinuteStamp(int hour, int minute, int second) { return hour * 100000 + minute * 1000 + second * 10; }

std::int32_t StampWithSeconds(TDateTime value) {
  const TDateParts t = DecodeDateTime(value);
  return MinuteStamp(t.Hour, t.Minute, t.Second);
}

std::int32_t StampOfMinute(TDateTime value) {
  const TDateParts t = DecodeDateTime(value);
  return MinuteStamp(t.Hour, t.Minute, 0);
}

int MinuteOfDay(TDateTime value) {
  const TDateParts t = DecodeDateTime(value);
  return t.Hour * 60 + t.Minute;
}

// The moment at which the window that applies at `now` last opened: the
// first whole minute from which its rhythm applies (a start with seconds
// opens it at the next minute). None for a night window that never closes.
std::optional<TDateTime> WindowOpened(const TPlanRecord& plan, TPlanWindow window, TDateTime now) {
  const std::int32_t dayStart = StampWithSeconds(plan.DayBeginBack);
  const std::int32_t nightStart = StampWithSeconds(plan.NightBeginBack);
  if (nightStart <= dayStart) return std::nullopt;
  const auto opening = [](TDateTime begin) {
    const TDateParts t = DecodeDateTime(begin);
    return (t.Hour * 60 + t.Minute + (t.Second > 0 || t.MSec > 0 ? 1 : 0)) / static_cast<double>(MinutesPerDay);
  };
  const TDateTime today = static_cast<double>(LocalDateOf(now));
  if (window == TPlanWindow::Day) return today + opening(plan.DayBeginBack);
  const TDateTime openedOn = StampOfMinute(now) >= nightStart ? today : today - 1;
  return openedOn + opening(plan.NightBeginBack);
}

// Periods 4-6: the first full hour since the window opened (or since the
// program started), else at least `hours` whole hours of the wall clock
// after the hour of the last plan backup.
bool HourRhythmDue(const TPlanRecord& plan, TPlanWindow window, TDateTime lastPlanRun, TDateTime now, int hours) {
  if (lastPlanRun == 0) return true;
  const std::optional<TDateTime> opened = WindowOpened(plan, window, now);
  if (opened && lastPlanRun < *opened) return true;
  const std::int64_t between =
      (LocalDateOf(now) - LocalDateOf(lastPlanRun)) * 24 + DecodeDateTime(now).Hour - DecodeDateTime(lastPlanRun).Hour;
  return between >= hours;
}

// The wall clock went forward past `clockMinute` (minute of the day) between
// the previous tick and this one, while hardly any real time passed: summer
// time beginning, or the clock set forward by hand.
bool JumpedPast(const TPlanState& state, TDateTime now, std::int64_t steadyMs, int clockMinute) {
  if (!state.TickSeen || LocalDateOf(state.PreviousTick) != LocalDateOf(now)) return false;
  if (!(MinuteOfDay(state.PreviousTick) < clockMinute && clockMinute < MinuteOfDay(now))) return false;
  const std::int64_t real = steadyMs - state.PreviousSteadyMs;
  const std::int64_t wall = std::llround((now - state.PreviousTick) * static_cast<double>(MSecsPerDay));
  return real >= 0 && real < JumpMs && wall > JumpMs;
}

// Period 7: the window's clock time, once per local date.
bool ClockTimeDue(const TPlanRecord& plan, const TPlanState& state, TPlanWindow window, TDateTime now,
                  std::int64_t steadyMs) {
  if (state.ClockTimeDates[static_cast<int>(window)] == LocalDateOf(now)) return false;
  const TDateParts c = DecodeDateTime(window == TPlanWindow::Day ? plan.DayClockBack : plan.NightClockBack);
  const int clockMinute = c.Hour * 60 + c.Minute;
  return MinuteOfDay(now) == clockMinute || JumpedPast(state, now, steadyMs, clockMinute);
}

}  // namespace

std::int64_t LocalDateOf(TDateTime moment) { return static_cast<std::int64_t>(DateOf(moment)); }

std::int64_t WallMinuteOf(TDateTime moment) { return LocalDateOf(moment) * MinutesPerDay + MinuteOfDay(moment); }

bool PlanDayEnabled(const TPlanRecord& plan, TDateTime now) {
  const bool days[] = {plan.Day1Back, plan.Day2Back, plan.Day3Back, plan.Day4Back,
                       plan.Day5Back, plan.Day6Back, plan.Day7Back};
  return days[DayOfTheWeek(now) - 1];
}

TPlanWindow PlanWindowAt(const TPlanRecord& plan, TDateTime now) {
  const std::int32_t stamp = StampOfMinute(now);
  const bool day = StampWithSeconds(plan.DayBeginBack) <= stamp && stamp < StampWithSeconds(plan.NightBeginBack);
  return day ? TPlanWindow::Day : TPlanWindow::Night;
}

TPlanVerdict CheckPlanRules(const TPlanRecord& plan, const TPlanState& state, TDateTime lastPlanRun, TDateTime now,
                            std::int64_t steadyMs) {
  TPlanVerdict verdict;
  verdict.Window = PlanWindowAt(plan, now);
  if (state.StartedMinutes.count(WallMinuteOf(now)) > 0) return verdict;
  const std::uint8_t period = verdict.Window == TPlanWindow::Day ? plan.DayPeriodBack : plan.NightPeriodBack;
  const int minute = DecodeDateTime(now).Minute;
  switch (period) {
    case 1: verdict.Due = minute == 0 || minute == 20 || minute == 40; break;
    case 2: verdict.Due = minute == 0 || minute == 30; break;
    case 3: verdict.Due = minute == 0; break;
    case 4:
    case 5:
    case 6: verdict.Due = minute == 0 && HourRhythmDue(plan, verdict.Window, lastPlanRun, now, period - 2); break;
    case 7: verdict.Due = verdict.ByClockTime = ClockTimeDue(plan, state, verdict.Window, now, steadyMs); break;
    default: break;
  }
  return verdict;
}

void RecordPlanTick(TPlanState& state, TDateTime now, std::int64_t steadyMs) {
  state.TickSeen = true;
  state.PreviousTick = now;
  state.PreviousSteadyMs = steadyMs;
}

void RecordPlanStart(TPlanState& state, const TPlanVerdict& verdict, TDateTime now) {
  const std::int64_t minute = WallMinuteOf(now);
  state.StartedMinutes.insert(minute);
  state.StartedMinutes.erase(state.StartedMinutes.begin(),
                             state.StartedMinutes.lower_bound(minute - 2 * MinutesPerDay));
  if (verdict.ByClockTime) state.ClockTimeDates[static_cast<int>(verdict.Window)] = LocalDateOf(now);
}

namespace {

// Whether `period` (with its clock time) falls on minute `minuteOfDay` as the
// rules count it; the hourly rhythms fall on every full hour of their window
// at least once (the first one since the window opened).
bool RhythmFallsOn(std::uint8_t period, TDateTime clock, int minuteOfDay) {
  const int minute = minuteOfDay % 60;
  switch (period) {
    case 1: return minute % 20 == 0;
    case 2: return minute % 30 == 0;
    case 3:
    case 4:
    case 5:
    case 6: return minute == 0;
    case 7: return minuteOfDay == MinuteOfDay(clock);
    default: return false;
  }
}

}  // namespace

TRhythmProblem RhythmProblemOf(const TPlanRecord& plan, TPlanWindow window) {
  const bool day = window == TPlanWindow::Day;
  const std::uint8_t period = day ? plan.DayPeriodBack : plan.NightPeriodBack;
  if (period == 0 || period > 7) return TRhythmProblem::None;
  bool applies = false;
  for (int minute = 0; minute < MinutesPerDay; ++minute) {
    if (PlanWindowAt(plan, EncodeTime(minute / 60, minute % 60, 0, 0)) != window) continue;
    applies = true;
    if (RhythmFallsOn(period, day ? plan.DayClockBack : plan.NightClockBack, minute)) return TRhythmProblem::None;
  }
  return applies ? TRhythmProblem::NoSlot : TRhythmProblem::NoWindow;
}

namespace {

// A plan that can never start a backup: no weekday, or no rhythm in either
// window.
bool NeverDue(const TPlanRecord& plan) {
  const bool anyDay = plan.Day1Back || plan.Day2Back || plan.Day3Back || plan.Day4Back || plan.Day5Back ||
                      plan.Day6Back || plan.Day7Back;
  const auto none = [](std::uint8_t period) { return period == 0 || period > 7; };
  return !anyDay || (none(plan.DayPeriodBack) && none(plan.NightPeriodBack));
}

}  // namespace

std::optional<TDateTime> NextPlanBackup(const TPlanRecord& plan, const TPlanState& state, TDateTime lastPlanRun,
                                        const TClockReading& now) {
  if (NeverDue(plan)) return std::nullopt;
  TPlanState simulated = state;
  // One tick as the timer would make it: checked, then remembered.
  const auto dueAt = [&](std::int64_t utcMs) {
    const TDateTime local = LocalDateTimeOf(utcMs);
    const std::int64_t steadyMs = now.SteadyMs + (utcMs - now.UtcMs);
    const bool due = PlanDayEnabled(plan, local) && CheckPlanRules(plan, simulated, lastPlanRun, local, steadyMs).Due;
    RecordPlanTick(simulated, local, steadyMs);
    return due ? std::optional<TDateTime>(local) : std::nullopt;
  };
  if (auto due = dueAt(now.UtcMs)) return due;
  const std::int64_t minuteStart = now.UtcMs - ((now.UtcMs % MsPerMinute) + MsPerMinute) % MsPerMinute;
  for (std::int64_t k = 1; k <= LookAheadMinutes; ++k) {
    if (auto due = dueAt(minuteStart + k * MsPerMinute)) return due;
  }
  return std::nullopt;
}
