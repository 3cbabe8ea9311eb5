# Off-site copies beside gbak | zstd | curl (bench/offsite.sh runs it).
add_executable(offsite_bench "${CMAKE_CURRENT_LIST_DIR}/offsite_bench.cpp")
target_include_directories(offsite_bench PRIVATE "${PROJECT_SOURCE_DIR}/src" "${PROJECT_SOURCE_DIR}/tests")
target_link_libraries(offsite_bench PRIVATE quorvin_jobs)
