// One tick of the plan timer with 50 databases in the plan: the cost the
// timer pays every 5 seconds, and the status line's next backups (computed
// again only when something changed).

#include <benchmark/benchmark.h>

#include <memory>

#include "controller/quorvin.h"
#include "platform/fake_clock.h"
#include "platform/temp_folder.h"

namespace {

constexpr int Entries = 50;

// A controller whose plan has 50 databases, every weekday, hourly by day
// and at a clock time by night, none of them due in the minute measured.
struct TPlanOf50 {
  TPlanOf50() {
    TSettings& settings = Controller->Settings();
    std::vector<TPlanEntry> entries = Controller->PlanEntries();
    entries.front().DataBase = Dir / "db0.fdb";
    while (entries.size() < Entries)
      entries.push_back(NewPlanEntry(settings, Dir / ("db" + std::to_string(entries.size()) + ".fdb")));
    for (TPlanEntry& entry : entries) {
      TPlanRecord& p = entry.PlanRecord;
      p.Day1Back = p.Day2Back = p.Day3Back = p.Day4Back = p.Day5Back = p.Day6Back = p.Day7Back = true;
      p.DayBeginBack = EncodeTime(8, 0, 0, 0);
      p.NightBeginBack = EncodeTime(20, 0, 0, 0);
      p.DayPeriodBack = 3;
      p.NightPeriodBack = 7;
      p.NightClockBack = EncodeTime(23, 30, 0, 0);
    }
    SetPlanEntries(settings, entries);
    Controller->Execute();
  }
  TFakeClock Clock{EncodeDate(2026, 12, 7) + EncodeTime(10, 17, 3, 0)};
  TTempFolder Dir;
  std::unique_ptr<TQuorvin> Controller = std::make_unique<TQuorvin>(TFrontEnd{}, Dir.Path);
};

void PlanTick(benchmark::State& state) {
  TPlanOf50 plan;
  for (auto _ : state) plan.Controller->OnPlanTimer();
  state.counters["entries"] = Entries;
}
BENCHMARK(PlanTick)->Unit(benchmark::kMicrosecond);

void NextBackupsOnTheStatusLine(benchmark::State& state) {
  TPlanOf50 plan;
  plan.Controller->OnPlanTimer();
  for (auto _ : state) benchmark::DoNotOptimize(plan.Controller->NextPlanBackups());
}
BENCHMARK(NextBackupsOnTheStatusLine)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
