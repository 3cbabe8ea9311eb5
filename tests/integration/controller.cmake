# Backup and Restore of the controller against the real Firebird.
quorvin_add_test(controller_firebird_tests LABEL firebird GTEST TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/controller_jobs_test.cpp
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
