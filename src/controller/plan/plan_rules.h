#pragma once
// The weekly plan and the rules by which it starts backups, on the local wall
// clock. The rules are pure functions of the plan, the state the controller
// keeps between ticks and the moment of a tick, so the same rules also answer
// "when does the plan start its next backup" without touching anything.

#include <cstdint>
#include <optional>
#include <set>

#include "platform/clock.h"
#include "platform/date_time.h"

// The weekly plan and the result of its last check. Plain data: the plan
// check copies it whole at every tick. The defaults of the stored fields are
// the settings table's (quorvin_settings.cpp).
struct TPlanRecord {
  bool Day1Back = false;  // Monday
  bool Day2Back = false;
  bool Day3Back = false;
  bool Day4Back = false;
  bool Day5Back = false;
  bool Day6Back = false;
  bool Day7Back = false;  // Sunday
  TDateTime DayBeginBack = 0;
  TDateTime NightBeginBack = 0;
  std::uint8_t DayPeriodBack = 0;
  std::uint8_t NightPeriodBack = 0;
  TDateTime DayClockBack = 0;
  TDateTime NightClockBack = 0;
  std::uint8_t QueueBack = 0;
  bool Due = false;

  bool operator==(const TPlanRecord&) const = default;
};

enum class TPlanWindow { Day = 0, Night = 1 };

// What the plan remembers between ticks, besides the moment of its last
// backup (LastPlanRun). Kept for one program run only.
struct TPlanState {
  static constexpr std::int64_t NoDate = INT64_MIN;
  // Local wall-clock minutes (minutes since 30 December 1899 00:00) at which
  // plan backups started, the last two days of them: a minute that saw one
  // never sees another, also when the clock goes back (summer time ending,
  // a clock set back by hand).
  std::set<std::int64_t> StartedMinutes;
  // Per window (day, night): the local date (days since 30 December 1899) on
  // which its clock time last started a backup.
  std::int64_t ClockTimeDates[2] = {NoDate, NoDate};
  // The previous checked tick: its local moment and its monotonic reading.
  bool TickSeen = false;
  TDateTime PreviousTick = 0;
  std::int64_t PreviousSteadyMs = 0;

  bool operator==(const TPlanState&) const = default;
};

struct TPlanVerdict {
  bool Due = false;
  TPlanWindow Window = TPlanWindow::Night;
  // Due by the window's clock time (period 7).
  bool ByClockTime = false;
};

// The local wall-clock minute and date of a moment, as TPlanState counts them.
std::int64_t WallMinuteOf(TDateTime moment);
std::int64_t LocalDateOf(TDateTime moment);

// Whether the switch of the weekday of `now` is on.
bool PlanDayEnabled(const TPlanRecord& plan, TDateTime now);
// The window that applies at `now`, by minute stamps: the day window from
// DayBeginBack (seconds kept) to NightBeginBack, the night window otherwise;
// the night window all day when NightBeginBack is not after DayBeginBack.
TPlanWindow PlanWindowAt(const TPlanRecord& plan, TDateTime now);

// Why a window's chosen rhythm can never start a backup: the window applies
// at no minute of the day (it has no length), or none of its minutes is one
// of the rhythm's (a clock time outside it, a window too short for the
// rhythm). None also for a window without a rhythm.
enum class TRhythmProblem { None, NoWindow, NoSlot };
TRhythmProblem RhythmProblemOf(const TPlanRecord& plan, TPlanWindow window);

// The rules at a tick at local moment `now` with monotonic reading `steadyMs`
// (the weekday switch is the caller's to check first). `lastPlanRun` is the
// local moment of the last plan backup of this run, 0 for none.
TPlanVerdict CheckPlanRules(const TPlanRecord& plan, const TPlanState& state, TDateTime lastPlanRun, TDateTime now,
                            std::int64_t steadyMs);
// A checked tick: the next one measures the wall clock's jumps from here.
void RecordPlanTick(TPlanState& state, TDateTime now, std::int64_t steadyMs);
// A plan backup started at `now` for the verdict `verdict`.
void RecordPlanStart(TPlanState& state, const TPlanVerdict& verdict, TDateTime now);

// The next moment at which the plan would start a backup, looking no further
// than 8 days ahead from `now` (a clock reading): `now` itself when a backup
// is due at once, else the start of the minute whose first tick would start
// one, in local time; nullopt when none falls within the 8 days. The rules
// are run minute by minute on a copy of the state, the time zone's
// summer-time changes included. Whether the plan runs at all (Execute,
// Stop), and a job under way, are the caller's to take into account. Cheap
// enough to call once per tick: the status bar and the tray tool tip show
// "next backup: <when>, <database>" from it.
std::optional<TDateTime> NextPlanBackup(const TPlanRecord& plan, const TPlanState& state, TDateTime lastPlanRun,
                                        const TClockReading& now);
