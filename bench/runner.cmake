# Benchmarks of the job runner; run at full size by bench/runner.sh only.
if(TARGET quorvin_fakeclient_control)
  add_executable(runner_pane_bench ${CMAKE_CURRENT_LIST_DIR}/runner_pane_bench.cpp)
  target_link_libraries(runner_pane_bench PRIVATE quorvin_jobs quorvin_fakeclient_control)
endif()
add_executable(runner_job_bench ${CMAKE_CURRENT_LIST_DIR}/runner_job_bench.cpp)
target_include_directories(runner_job_bench PRIVATE "${PROJECT_SOURCE_DIR}/tests")
target_link_libraries(runner_job_bench PRIVATE quorvin_jobs)
