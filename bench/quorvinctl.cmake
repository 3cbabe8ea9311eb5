# quorvinctl's backup over TCP beside gbak -b -se, and the idle service's
# memory (bench/quorvinctl.sh runs it at full size).
add_executable(quorvinctl_bench "${CMAKE_CURRENT_SOURCE_DIR}/quorvinctl_bench.cpp")
target_include_directories(quorvinctl_bench PRIVATE "${PROJECT_SOURCE_DIR}/src" "${PROJECT_SOURCE_DIR}/tests")
target_link_libraries(quorvinctl_bench PRIVATE quorvin_platform)
target_compile_definitions(quorvinctl_bench PRIVATE QUORVINCTL="$<TARGET_FILE:quorvinctl>")
add_dependencies(quorvinctl_bench quorvinctl)
if(QUORVIN_TESTS)
  # A tiny smoke run keeps the benchmark working; speed is never asserted.
  add_test(NAME quorvinctl_bench_smoke COMMAND quorvinctl_bench --size-mb 2 --runs 1)
  set_tests_properties(quorvinctl_bench_smoke PROPERTIES LABELS firebird TIMEOUT 600)
endif()
