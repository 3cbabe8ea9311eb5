# Backup/restore through the service classes side by side with gbak's
# service mode (bench/service.sh runs it at full size).
add_executable(service_bench "${CMAKE_CURRENT_SOURCE_DIR}/service_bench.cpp")
target_include_directories(service_bench PRIVATE "${PROJECT_SOURCE_DIR}/src" "${PROJECT_SOURCE_DIR}/tests")
target_link_libraries(service_bench PRIVATE quorvin_service)
if(QUORVIN_TESTS)
  # A tiny smoke run keeps the benchmark working; speed is never asserted.
  add_test(NAME service_bench_smoke COMMAND service_bench --size-mb 2 --runs 1)
  set_tests_properties(service_bench_smoke PROPERTIES LABELS firebird TIMEOUT 600)
endif()
