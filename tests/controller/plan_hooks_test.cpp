// The command after a plan backup, run through the real /bin/sh: its output
// in the operation log, and its end — by itself, by its time limit or by a
// stop of the program — also when it closed its output and runs on.

#include "controller/hooks/plan_hooks.h"

#include <gtest/gtest.h>

#include "controller/log/operation_log.h"
#include "controller/settings/settings.h"
#include "platform/temp_folder.h"
#include "runner/job_stop.h"

namespace {

TEST(PlanHooks, TheCommandEndsByItselfOrByItsLimitOrAStopWhetherOrNotItStillWrites) {
  struct Row {
    const char* command;
    bool stop;
    const char* logged;
  } const rows[] = {
      {"echo said; exit 0", false, " Команда после копии завершена успешно."},
      {"exec >/dev/null 2>&1; sleep 30", false, " Команда после копии прервана: не завершилась за 1 с."},
      {"exec >/dev/null 2>&1; sleep 30", true, " Команда после копии прервана: программа завершает работу."},
      {"echo said; sleep 30 >/dev/null 2>&1 & exit 0", false, " Команда после копии прервана: не завершилась за 1 с."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.command);
    TTempFolder dir;
    TOperationLog log(dir.Path);
    TSettings settings;
    settings.OnSuccess = row.command;
    settings.TimeLimit = 1;
    TJobReport report;
    report.Succeeded = true;
    TJobStop stop;
    if (row.stop) stop.Request();
    RunPlanHook(settings, report, log, &stop);
    const std::string logged = ReadFileBytes(log.LogFileName());
    EXPECT_NE(logged.find(row.logged), std::string::npos) << logged;
    EXPECT_EQ(logged.find("Команда: said") != std::string::npos, std::string(row.command).starts_with("echo"))
        << logged;
  }
}

}  // namespace
