# Copies on this computer: backups streamed from the service manager and
# restores fed to it, against the embedded engine and the server.

# The proxy a test puts between the client and the server to cut the
# connection mid-stream.
add_executable(tcp_proxy "${CMAKE_CURRENT_LIST_DIR}/tcp_proxy.cpp")
target_link_libraries(tcp_proxy PRIVATE Threads::Threads)

function(quorvin_local_copy_test name)
  quorvin_add_test(${name} LABEL firebird GTEST TIMEOUT 900 ${ARGN})
  add_dependencies(${name} tcp_proxy)
  target_compile_definitions(${name} PRIVATE QUORVIN_TCP_PROXY="$<TARGET_FILE:tcp_proxy>")
endfunction()

quorvin_local_copy_test(service_stream_firebird_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/service_stream_test.cpp
  LIBS quorvin_service)

quorvin_local_copy_test(local_copy_firebird_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/local_copy_jobs_test.cpp
  LIBS quorvin_controller)
