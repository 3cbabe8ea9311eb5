# Verification by test restore beside gbak -c; run at full size by
# bench/verify.sh only.
add_executable(verify_bench ${CMAKE_CURRENT_LIST_DIR}/verify_bench.cpp)
target_include_directories(verify_bench PRIVATE "${PROJECT_SOURCE_DIR}/tests")
target_link_libraries(verify_bench PRIVATE quorvin_controller)
if(QUORVIN_TESTS)
  # A tiny smoke run keeps the benchmark working; speed is never asserted.
  add_test(NAME verify_bench_smoke COMMAND verify_bench --size-mb 2 --rounds 1 --protocol local)
  set_tests_properties(verify_bench_smoke PROPERTIES LABELS firebird TIMEOUT 600)
endif()
