# A level-1 backup of a large database beside its logical backup, and the
# restore of the chain beside gbak -c (bench/incremental.sh runs it at 1 GB).
add_executable(incremental_bench "${CMAKE_CURRENT_SOURCE_DIR}/incremental_bench.cpp")
target_include_directories(incremental_bench PRIVATE "${PROJECT_SOURCE_DIR}/src" "${PROJECT_SOURCE_DIR}/tests")
target_link_libraries(incremental_bench PRIVATE quorvin_controller)
if(QUORVIN_TESTS)
  # A tiny smoke run keeps the benchmark working; speed is never asserted.
  add_test(NAME incremental_bench_smoke COMMAND incremental_bench --size-mb 4 --runs 1)
  set_tests_properties(incremental_bench_smoke PROPERTIES LABELS firebird TIMEOUT 600)
endif()
