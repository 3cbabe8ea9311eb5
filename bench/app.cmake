# Benchmarks of the application shell; run at full size by bench/app.sh only.
if(TARGET quorvin_app)
  add_executable(app_bench ${CMAKE_CURRENT_LIST_DIR}/app_bench.cpp)
  target_include_directories(app_bench PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  target_link_libraries(app_bench PRIVATE quorvin_app)
endif()
