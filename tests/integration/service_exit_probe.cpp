// A process that backs a database up through the embedded engine (protocol
// Local) and ends the moment the job is over: the way the program ends when
// the user closes the window right after a job. Exit status 0 when the backup
// ran; a crash in the engine's own exit shows as a signal.
//
//   service_exit_probe <database> <backup file>

#include <cstdio>

#include "service/ib_services.h"

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <database> <backup file>\n", argv[0]);
    return 2;
  }
  try {
    TIBBackupService backup;
    backup.SetProtocol(TProtocol::Local);
    backup.Params().Add("User_Name=SYSDBA");
    backup.Params().Add("Password=");
    backup.LoginPrompt = false;
    backup.DatabaseName = argv[1];
    backup.BackupFile.Add(argv[2]);
    backup.Verbose = true;
    backup.SetActive(true);
    backup.ServiceStart();
    while (!backup.OutputEnded()) backup.NextOutputLine();
    backup.SetActive(false);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
