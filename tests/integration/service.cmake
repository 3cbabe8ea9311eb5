# Service manager client against the real Firebird engine and server.
quorvin_add_test(service_firebird_tests LABEL firebird GTEST TIMEOUT 900
  SOURCES "${CMAKE_CURRENT_SOURCE_DIR}/service_jobs_test.cpp"
  LIBS quorvin_service)
