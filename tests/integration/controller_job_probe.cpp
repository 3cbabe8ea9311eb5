// A program that runs one backup or restore through the controller, as the
// program would, and can be killed in the middle of it: it kills itself
// (SIGKILL, nothing cleaned up) when the pane receives a line holding the
// given text. Exit status 0 when the job succeeded.
//
//   controller_job_probe <program folder> backup <protocol> <database> [kill-at <text>]
//   controller_job_probe <program folder> restore <protocol> <backup file> <database> [kill-at <text>]
//
// The protocol is 0 (TCP) or 3 (Local); the login is SYSDBA with the
// server's password; the backup shuts the database down first and has no
// date in its name. QUORVIN_PROBE_COPY_ONLY=<folder> makes the backup only a
// copy on this computer in that folder, QUORVIN_PROBE_VERIFY=1 verifies it.
// The process takes its locale from the environment, as the program does.

#include <signal.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "controller/quorvin.h"
#include "integration/fb_fixture.h"
#include "runner/ui_seams.h"

namespace {

class TProbeSeams : public TPrompts, public TLogPaneView {
 public:
  std::string KillAt;
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "box: %s\n", text.c_str()); }
  bool AskYesNo(const std::string&) override { return true; }
  bool ConfirmOkCancel(const std::string&) override { return true; }
  void Beep() override {}
  void Clear() override {}
  void AppendLine(const std::string& line) override {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (!KillAt.empty() && line.find(KillAt) != std::string::npos) ::raise(SIGKILL);
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  std::setlocale(LC_ALL, "");
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s <folder> backup|restore <protocol> <file> [<file>] [kill-at <text>]\n", argv[0]);
    return 2;
  }
  const std::string kind = argv[2];
  const int files = kind == "restore" ? 2 : 1;
  TProbeSeams seams;
  if (argc >= 4 + files + 2 && std::string(argv[4 + files]) == "kill-at") seams.KillAt = argv[5 + files];
  int status = 1;
  {
    TQuorvin q(TFrontEnd{&seams, &seams}, argv[1]);
    q.Settings().Protocol = std::atoi(argv[3]);
    q.Settings().User = "SYSDBA";
    q.Settings().Pass = fbtest::SysdbaPassword();
    q.Settings().AutoBackName = false;
    q.Settings().BackShutDown = true;
    if (const char* copies = std::getenv("QUORVIN_PROBE_COPY_ONLY")) {
      q.Settings().LocalCopyDir = copies;
      q.Settings().LocalCopyOnly = true;
    }
    q.Settings().VerifyBackup = std::getenv("QUORVIN_PROBE_VERIFY") != nullptr;
    bool ok = false;
    if (kind == "restore") {
      ok = q.Restore(argv[4], argv[5]).value_or(false);
    } else {
      const std::optional<TBackupOutcome> outcome = q.Backup(argv[4]);
      ok = outcome && outcome->Succeeded;
    }
    status = ok ? 0 : 1;
  }
  return status;
}
