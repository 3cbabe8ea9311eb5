# Backup and Restore of the controller against the real Firebird.
quorvin_add_test(controller_firebird_tests LABEL firebird GTEST TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/controller_jobs_test.cpp
  LIBS quorvin_controller)

# Stops and restarts the real server: runs alone, so no other test of the
# server sees it go away.
quorvin_add_test(controller_server_stop_test LABEL firebird TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/controller_server_stop_test.cpp
  LIBS quorvin_controller GTest::gtest_main GTest::gmock)
target_compile_definitions(controller_server_stop_test PRIVATE QUORVIN_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
set_tests_properties(controller_server_stop_test PROPERTIES RUN_SERIAL TRUE)

# Verification, history and the restore's check of its source, for real.
quorvin_add_test(controller_history_firebird_test LABEL firebird GTEST TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/controller_history_test.cpp
  LIBS quorvin_controller)
