# Backup and Restore of the controller against the real Firebird.
quorvin_add_test(controller_firebird_tests LABEL firebird GTEST TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/controller_jobs_test.cpp ${CMAKE_CURRENT_LIST_DIR}/controller_queue_test.cpp
  LIBS quorvin_controller)

# Stops and restarts a server of its own (the shared one is never touched).
quorvin_add_test(controller_server_stop_test LABEL firebird TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/controller_server_stop_test.cpp
  LIBS quorvin_controller GTest::gtest_main GTest::gmock)

# Verification, history and the restore's check of its source, for real.
quorvin_add_test(controller_history_firebird_test LABEL firebird GTEST TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/controller_history_test.cpp
  LIBS quorvin_controller)

# The tests' own Firebird server (integration/private_server.h).
quorvin_add_test(private_server_test LABEL firebird GTEST TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/private_server_test.cpp)

# Jobs of the controller killed in the middle, in a program of their own, and
# finished by a fresh controller.
add_executable(controller_job_probe ${CMAKE_CURRENT_LIST_DIR}/controller_job_probe.cpp)
target_include_directories(controller_job_probe PRIVATE "${PROJECT_SOURCE_DIR}/src" "${PROJECT_SOURCE_DIR}/tests")
target_link_libraries(controller_job_probe PRIVATE quorvin_controller)
quorvin_add_test(controller_recovery_tests LABEL firebird GTEST TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/controller_recovery_test.cpp
  LIBS quorvin_controller)
add_dependencies(controller_recovery_tests controller_job_probe)
target_compile_definitions(controller_recovery_tests PRIVATE QUORVIN_JOB_PROBE="$<TARGET_FILE:controller_job_probe>")

# A job under LC_ALL=C with a Cyrillic database path, run by the probe above.
quorvin_add_test(character_type_firebird_tests LABEL firebird GTEST TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/character_type_test.cpp)
add_dependencies(character_type_firebird_tests controller_job_probe)
target_compile_definitions(character_type_firebird_tests PRIVATE QUORVIN_JOB_PROBE="$<TARGET_FILE:controller_job_probe>")

# Jobs cut short by a kill or a stop, in one fixture against the embedded
# engine: physical backups killed or stopped in their verification, a hand
# incremental backup stopped, a killed quorvinctl restore finished by the
# next quorvinctl backup.
quorvin_add_test(interrupted_jobs_tests LABEL firebird GTEST TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/interrupted_jobs_test.cpp
  LIBS quorvin_controller)
add_dependencies(interrupted_jobs_tests controller_job_probe quorvinctl)
target_compile_definitions(interrupted_jobs_tests PRIVATE QUORVIN_JOB_PROBE="$<TARGET_FILE:controller_job_probe>"
  QUORVINCTL="$<TARGET_FILE:quorvinctl>")
