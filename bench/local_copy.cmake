# Backups streamed into a compressed copy on this computer and restores fed
# from it, beside gbak (bench/local_copy.sh runs it at full size).
add_executable(local_copy_bench "${CMAKE_CURRENT_LIST_DIR}/local_copy_bench.cpp")
target_include_directories(local_copy_bench PRIVATE "${PROJECT_SOURCE_DIR}/src" "${PROJECT_SOURCE_DIR}/tests")
target_link_libraries(local_copy_bench PRIVATE quorvin_jobs)
if(QUORVIN_TESTS)
  # A tiny smoke run keeps the benchmark working; speed is never asserted.
  add_test(NAME local_copy_bench_smoke COMMAND local_copy_bench --size-mb 2 --runs 1)
  set_tests_properties(local_copy_bench_smoke PROPERTIES LABELS firebird TIMEOUT 600)
endif()
