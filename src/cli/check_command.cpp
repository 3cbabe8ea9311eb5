// check: whether the set-up can run its plan, said item by item, changing
// nothing. The units run it before the plan (ExecStartPre), so what is wrong
// shows in systemctl status and the journal.

#include "cli/cli_core.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "controller/setup_check/setup_check.h"

namespace {

void Say(const TConsole& console, const TCheckItem& item, const std::string& lead) {
  if (item.Fine)
    console.Info(lead + "ok: " + item.Text);
  else
    console.Error(lead + "FAILED: " + item.Text);
}

}  // namespace

int CheckSetupCommand(const TCliOptions& options, const TConsole& console) {
  TCliCore cli(options, console, false);
  if (!cli.SettingsExist()) {
    console.Error("FAILED: no settings file " + cli.SettingsFile() + " (set the plan up with quorvinctl plan add)");
    return ExitFailure;
  }
  if (!cli.Core().SettingsFault().empty()) {
    console.Error("FAILED: " + cli.Core().SettingsFault());
    return ExitFailure;
  }
  cli.ApplyLogin(options);
  TQuorvin& q = cli.Core();
  const std::vector<TPlanEntry> entries = q.PlanEntries();
  console.Info("ok: settings file " + cli.SettingsFile() + " read, " + std::to_string(entries.size()) +
               (entries.size() == 1 ? " entry" : " entries"));
  std::size_t problems = 0;
  for (const TCheckItem& item : {CheckOwnFolder("state folder", cli.Locations().StateFolder()),
                                 CheckOwnFolder("log folder", cli.Locations().DataDir)}) {
    Say(console, item, "");
    if (!item.Fine) ++problems;
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TEntryCheck check = CheckPlanEntry(i + 1, entries[i], JobOptionsOf(entries[i], q.Settings()));
    const std::string lead = "entry " + std::to_string(i + 1) + " " + check.Database + ": ";
    for (const TCheckItem& item : check.Items) {
      Say(console, item, lead);
      if (!item.Fine) ++problems;
    }
  }
  if (problems == 0) {
    console.Info("the set-up is fine");
    return ExitSuccess;
  }
  console.Error(std::to_string(problems) + (problems == 1 ? " problem" : " problems") + " in the set-up of " +
                cli.SettingsFile());
  return ExitFailure;
}
