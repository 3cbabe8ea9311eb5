// A program that runs one backup or restore through the controller, as the
// program would, and can be killed in the middle of it: it kills itself
// (SIGKILL, nothing cleaned up) when the pane receives a line holding the
// given text. Exit status 0 when the job succeeded.
//
//   controller_job_probe <program folder> backup <protocol> <database> [kill-at <text>]
//   controller_job_probe <program folder> restore <protocol> <backup file> <database> [kill-at <text>]
//   controller_job_probe <program folder> nbackup <protocol> <database> <level> [kill-in-backup-mode]
//   controller_job_probe <program folder> nbackup <protocol> <database> <level> [kill-at <text>]
//
// With kill-in-backup-mode the physical backup kills itself once the
// database's header says it is in backup mode and the new backup file has
// its first page.
//
// The protocol is 0 (TCP) or 3 (Local); the login is SYSDBA with the
// server's password; the backup shuts the database down first and has no
// date in its name. QUORVIN_PROBE_COPY_ONLY=<folder> makes the backup only a
// copy on this computer in that folder, QUORVIN_PROBE_VERIFY=1 verifies it.
// The process takes its locale from the environment, as the program does.

#include <signal.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>

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

// The header's flags (bytes 42 and 43 of the first page) hold the backup
// state in bits 0x0C00.
bool InBackupMode(const std::string& database) {
  std::ifstream in(database, std::ios::binary);
  char bytes[44] = {};
  if (!in.read(bytes, sizeof bytes)) return false;
  const unsigned flags = static_cast<unsigned char>(bytes[42]) | (static_cast<unsigned char>(bytes[43]) << 8);
  return (flags & 0x0C00) != 0;
}

bool BackupFileStarted(const std::string& database, int level) {
  namespace fs = std::filesystem;
  const std::string part = "_L" + std::to_string(level) + "_";
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fs::path(database).parent_path(), error)) {
    const std::string name = entry.path().filename().string();
    if (name.find(part) != std::string::npos && name.ends_with(".nbk") && fs::file_size(entry.path(), error) >= 8192)
      return true;
  }
  return false;
}

void KillInBackupMode(const std::string& database, int level) {
  std::thread([database, level] {
    for (;;) {
      if (InBackupMode(database) && BackupFileStarted(database, level)) ::raise(SIGKILL);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }).detach();
}

}  // namespace

int main(int argc, char* argv[]) {
  std::setlocale(LC_ALL, "");
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s <folder> backup|restore <protocol> <file> [<file>] [kill-at <text>]\n", argv[0]);
    return 2;
  }
  const std::string kind = argv[2];
  const int files = kind == "backup" ? 1 : 2;
  TProbeSeams seams;
  if (argc >= 4 + files + 2 && std::string(argv[4 + files]) == "kill-at") seams.KillAt = argv[5 + files];
  int status = 1;
  {
    // The job's lines reach the seams on the job's own thread the moment it
    // writes them, so a kill at a line comes at that moment, not later.
    TFrontEnd frontEnd{&seams, &seams};
    frontEnd.Post = [](std::function<void()> work) { work(); };
    TQuorvin q(frontEnd, argv[1]);
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
    const auto made = [&ok](const TBackupOutcome& outcome) { ok = outcome.Succeeded; };
    if (kind == "nbackup") {
      q.Settings().BackShutDown = false;
      if (argc > 6 && std::string(argv[6]) == "kill-in-backup-mode") KillInBackupMode(argv[4], std::atoi(argv[5]));
      q.IncrementalBackup(argv[4], std::atoi(argv[5]), made);
    } else if (kind == "restore") {
      q.Restore(argv[4], argv[5], [&ok](bool restored) { ok = restored; });
    } else {
      q.Backup(argv[4], made);
    }
    q.WaitIdle();
    status = ok ? 0 : 1;
  }
  return status;
}
