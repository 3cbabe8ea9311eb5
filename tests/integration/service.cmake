# Service manager client against the real Firebird engine and server.
quorvin_add_test(service_firebird_tests LABEL firebird GTEST TIMEOUT 900
  SOURCES "${CMAKE_CURRENT_SOURCE_DIR}/service_jobs_test.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/database_drop_test.cpp"
  LIBS quorvin_service)

# A process that ends right after an embedded-engine job (run by the test
# above, many times over).
add_executable(service_exit_probe "${CMAKE_CURRENT_SOURCE_DIR}/service_exit_probe.cpp")
target_include_directories(service_exit_probe PRIVATE "${PROJECT_SOURCE_DIR}/src")
target_link_libraries(service_exit_probe PRIVATE quorvin_service)
add_dependencies(service_firebird_tests service_exit_probe)
target_compile_definitions(service_firebird_tests PRIVATE
  QUORVIN_SERVICE_EXIT_PROBE="$<TARGET_FILE:service_exit_probe>")

# The whole-or-cut-short judgement on files written by the real gbak.
quorvin_add_test(backup_file_check_firebird_tests LABEL firebird GTEST TIMEOUT 600
  SOURCES "${CMAKE_CURRENT_SOURCE_DIR}/backup_file_check_fb_test.cpp"
  LIBS quorvin_service)
