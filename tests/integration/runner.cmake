# Real jobs of the job runner against the embedded engine (protocol Local)
# and the server on this computer (protocol TCP).
quorvin_add_test(runner_firebird_tests LABEL firebird GTEST TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/runner_jobs_test.cpp
  LIBS quorvin_jobs)
