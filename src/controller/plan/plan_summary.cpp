#include "controller/plan/plan_summary.h"

#include <array>

namespace {

constexpr std::array<const char*, 7> DayNames = {"Пн", "Вт", "Ср", "Чт", "Пт", "Сб", "Вс"};

// The rhythm items as the schedule dialog names them (the clock item gets
// its time).
std::string RhythmText(std::uint8_t period, TDateTime clock) {
  static constexpr std::array<const char*, 7> Items = {"ничего",       "раз в 20 мин.", "раз в 30 мин.", "раз в 1 час",
                                                       "раз в 2 часа", "раз в 3 часа",  "раз в 4 часа"};
  if (period < Items.size()) return Items[period];
  if (period == 7) return "в " + FormatDateTime("hh:nn", clock);
  return "ничего";
}

// Runs of days as "Пн–Пт", single days by name, joined by commas.
std::string DaysText(const TPlanRecord& plan) {
  const bool on[] = {plan.Day1Back, plan.Day2Back, plan.Day3Back, plan.Day4Back,
                     plan.Day5Back, plan.Day6Back, plan.Day7Back};
  std::string text;
  for (int day = 0; day < 7;) {
    if (!on[day]) {
      ++day;
      continue;
    }
    int last = day;
    while (last + 1 < 7 && on[last + 1]) ++last;
    if (!text.empty()) text += ", ";
    text += DayNames[day];
    if (last > day) text += std::string(last > day + 1 ? "–" : ", ") + DayNames[last];
    day = last + 1;
  }
  if (text == "Пн–Вс") return "ежедневно";
  return text.empty() ? "ни в один день" : text;
}

// hour × 3600 + minute × 60 + second of a time of day.
int SecondOfDay(TDateTime value) {
  const TDateParts t = DecodeDateTime(value);
  return t.Hour * 3600 + t.Minute * 60 + t.Second;
}

}  // namespace

std::string PlanSummary(const TPlanRecord& plan) {
  const std::string days = DaysText(plan);
  const std::string night = RhythmText(plan.NightPeriodBack, plan.NightClockBack);
  // No day window: the night rhythm applies all day.
  if (SecondOfDay(plan.NightBeginBack) <= SecondOfDay(plan.DayBeginBack)) return days + "; весь день " + night;
  return days + "; днём " + RhythmText(plan.DayPeriodBack, plan.DayClockBack) + ", ночью " + night;
}

std::string StartText(TDateTime value) {
  return FormatDateTime(SecondOfDay(value) % 60 != 0 ? "hh:nn:ss" : "hh:nn", value);
}

namespace {

std::string WindowProblemText(const TPlanRecord& plan, TPlanWindow window) {
  const bool day = window == TPlanWindow::Day;
  const TRhythmProblem problem = RhythmProblemOf(plan, window);
  if (problem == TRhythmProblem::None) return {};
  const std::uint8_t period = day ? plan.DayPeriodBack : plan.NightPeriodBack;
  const TDateTime clock = day ? plan.DayClockBack : plan.NightClockBack;
  const std::string dayStart = StartText(plan.DayBeginBack);
  const std::string nightStart = StartText(plan.NightBeginBack);
  std::string text =
      std::string(day ? "Дневной" : "Ночной") + " ритм «" + RhythmText(period, clock) + "» не сработает ни разу: ";
  if (problem == TRhythmProblem::NoWindow && day) {
    if (SecondOfDay(plan.NightBeginBack) == SecondOfDay(plan.DayBeginBack))
      return text + "день и ночь начинаются в " + dayStart + ", у дневного окна нет длительности.";
    return text + "ночь (" + nightStart + ") начинается раньше дня (" + dayStart +
           "), дневного окна нет и весь день действует ночной ритм.";
  }
  if (problem == TRhythmProblem::NoWindow)
    return text + "дневное окно (" + dayStart + "–" + nightStart + ") занимает все минуты суток, ночного окна нет.";
  const std::string span = day ? dayStart + "–" + nightStart : nightStart + "–" + dayStart;
  const std::string where = std::string(day ? "дневного" : "ночного") + " окна (" + span + ")";
  if (period == 7) return text + "время " + FormatDateTime("hh:nn", clock) + " вне " + where + ".";
  return text + "внутри " + where + " нет ни одной его минуты.";
}

}  // namespace

std::string RhythmProblemText(const TPlanRecord& plan) {
  const std::string day = WindowProblemText(plan, TPlanWindow::Day);
  const std::string night = WindowProblemText(plan, TPlanWindow::Night);
  return day.empty() || night.empty() ? day + night : day + " " + night;
}
