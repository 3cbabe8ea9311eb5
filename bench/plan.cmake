# The plan's tick over many databases; run by bench/plan.sh.
add_executable(plan_bench ${CMAKE_CURRENT_LIST_DIR}/plan_bench.cpp)
target_include_directories(plan_bench PRIVATE "${PROJECT_SOURCE_DIR}/tests")
target_link_libraries(plan_bench PRIVATE quorvin_controller benchmark::benchmark)
if(QUORVIN_TESTS)
  add_test(NAME plan_bench_smoke COMMAND plan_bench --benchmark_min_time=0.01)
  set_tests_properties(plan_bench_smoke PROPERTIES LABELS unit TIMEOUT 120)
endif()
