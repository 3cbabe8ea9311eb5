# Copies on this computer: backups streamed from the service manager and
# restores fed to it, against the embedded engine and the server.
quorvin_add_test(local_copy_firebird_tests LABEL firebird GTEST TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/local_copy_jobs_test.cpp
  LIBS quorvin_controller)
