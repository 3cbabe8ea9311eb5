# Opening the history page with 10 000 records; run by bench/history_page.sh.
if(TARGET quorvin_app)
  add_executable(history_page_bench ${CMAKE_CURRENT_LIST_DIR}/history_page_bench.cpp)
  target_include_directories(history_page_bench PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  target_link_libraries(history_page_bench PRIVATE quorvin_app)
  if(QUORVIN_TESTS)
    add_test(NAME history_page_bench_smoke COMMAND history_page_bench --records 200 --runs 1)
    set_tests_properties(history_page_bench_smoke PROPERTIES LABELS gui TIMEOUT 120
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
endif()
