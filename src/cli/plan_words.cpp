#include "cli/plan_words.h"

#include <utility>

#include "cli/cli_options.h"
#include "platform/text.h"

namespace {

constexpr std::array<const char*, 7> DayNames = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
// Index: the period the settings keep.
constexpr std::array<const char*, 7> RhythmNames = {"off", "20m", "30m", "1h", "2h", "3h", "4h"};
constexpr std::pair<const char*, std::int32_t> Kinds[] = {{"logical", TDatabaseOptions::BackupKindLogical},
                                                          {"incremental", TDatabaseOptions::BackupKindIncremental}};
constexpr std::pair<const char*, std::int32_t> Protocols[] = {{"TCP", 0}, {"Local", 3}};

int DayNamed(const std::string& name) {
  for (std::size_t day = 0; day < DayNames.size(); ++day)
    if (SameTextAscii(name, DayNames[day])) return static_cast<int>(day);
  throw EUsage("unknown weekday '" + name + "' (mon, tue, wed, thu, fri, sat, sun)");
}

int Digits(const std::string& text) {
  if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoi(text);
}

}  // namespace

std::array<bool, 7> ParseDays(const std::string& text) {
  std::array<bool, 7> days{};
  if (SameTextAscii(text, "none")) return days;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string item = text.substr(start, comma - start);
    const std::size_t dash = item.find('-');
    const int first = DayNamed(item.substr(0, dash));
    const int last = dash == std::string::npos ? first : DayNamed(item.substr(dash + 1));
    // "sat-mon" runs over the week's end.
    for (int day = first;; day = (day + 1) % 7) {
      days[static_cast<std::size_t>(day)] = true;
      if (day == last) break;
    }
    start = comma + 1;
  }
  return days;
}

std::string DaysWords(const std::array<bool, 7>& days) {
  std::string text;
  for (int day = 0; day < 7;) {
    if (!days[static_cast<std::size_t>(day)]) {
      ++day;
      continue;
    }
    int last = day;
    while (last + 1 < 7 && days[static_cast<std::size_t>(last + 1)]) ++last;
    text += (text.empty() ? "" : ",") + std::string(DayNames[static_cast<std::size_t>(day)]);
    if (last > day) text += std::string(last > day + 1 ? "-" : ",") + DayNames[static_cast<std::size_t>(last)];
    day = last + 1;
  }
  return text.empty() ? "none" : text;
}

std::array<bool, 7> DaysOf(const TPlanRecord& plan) {
  return {plan.Day1Back, plan.Day2Back, plan.Day3Back, plan.Day4Back, plan.Day5Back, plan.Day6Back, plan.Day7Back};
}

std::uint8_t ParseRhythm(const std::string& text) {
  for (std::size_t period = 0; period < RhythmNames.size(); ++period)
    if (SameTextAscii(text, RhythmNames[period])) return static_cast<std::uint8_t>(period);
  throw EUsage("unknown rhythm '" + text +
               "' (20m, 30m, 1h, 2h, 3h, 4h or off; a clock time with --day-at, --night-at)");
}

std::string RhythmWord(std::uint8_t period) { return period < RhythmNames.size() ? RhythmNames[period] : "off"; }

TDateTime ParseClock(const std::string& text) {
  const std::size_t colon = text.find(':');
  const std::size_t second = colon == std::string::npos ? colon : text.find(':', colon + 1);
  const int hours = Digits(text.substr(0, colon));
  const int minutes = colon == std::string::npos ? -1 : Digits(text.substr(colon + 1, second - colon - 1));
  const int seconds = second == std::string::npos ? 0 : Digits(text.substr(second + 1));
  TDateTime time = 0;
  if (hours < 0 || minutes < 0 || seconds < 0 || !TryEncodeTime(hours, minutes, seconds, 0, time))
    throw EUsage("not a time of day: '" + text + "' (HH:MM, 00:00 to 23:59)");
  return time;
}

std::string ClockWords(TDateTime time) {
  const TDateParts t = DecodeDateTime(time);
  char text[16];
  if (t.Second == 0)
    std::snprintf(text, sizeof text, "%02d:%02d", t.Hour, t.Minute);
  else
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.Hour, t.Minute, t.Second);
  return text;
}

std::int32_t ParseKind(const std::string& text) {
  for (const auto& [name, kind] : Kinds)
    if (SameTextAscii(text, name)) return kind;
  throw EUsage("unknown kind of backups '" + text + "' (logical or incremental)");
}

const char* KindWord(std::int32_t kind) {
  for (const auto& [name, value] : Kinds)
    if (value == kind) return name;
  return "logical";
}

std::int32_t ParseProtocol(const std::string& text) {
  for (const auto& [name, protocol] : Protocols)
    if (SameTextAscii(text, name)) return protocol;
  throw EUsage("unknown protocol '" + text + "' (TCP or Local)");
}

const char* ProtocolWord(std::int32_t protocol) {
  for (const auto& [name, value] : Protocols)
    if (value == protocol) return name;
  return protocol < 0 ? "none" : protocol == 1 ? "SPX" : "NamedPipes";
}

std::string RhythmOptions(const TPlanRecord& plan) {
  std::string text = "--days " + DaysWords(DaysOf(plan));
  if (!PlanOnAnyDay(plan)) return text;
  const auto window = [&](const char* name, TDateTime start, std::uint8_t period, TDateTime clock) {
    text += std::string(" --") + name + " " + ClockWords(start);
    if (period == 7)
      text += std::string(" --") + name + "-at " + ClockWords(clock);
    else
      text += std::string(" --") + name + "-every " + RhythmWord(period);
  };
  window("day", plan.DayBeginBack, plan.DayPeriodBack, plan.DayClockBack);
  window("night", plan.NightBeginBack, plan.NightPeriodBack, plan.NightClockBack);
  return text;
}
