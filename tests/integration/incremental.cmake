# Physical (nbackup) backups and their chains through the controller, against
# the embedded engine and the server.
quorvin_add_test(incremental_firebird_tests LABEL firebird GTEST TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/incremental_chain_test.cpp
  LIBS quorvin_controller)

# A physical backup killed in the middle (the job probe of controller.cmake),
# finished at the next start; on a server of the tests' own.
quorvin_add_test(incremental_recovery_tests LABEL firebird GTEST TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/incremental_recovery_test.cpp
  LIBS quorvin_controller)
add_dependencies(incremental_recovery_tests controller_job_probe)
target_compile_definitions(incremental_recovery_tests PRIVATE QUORVIN_JOB_PROBE="$<TARGET_FILE:controller_job_probe>")
