# quorvinctl run as a program against the real engine and server.
quorvin_add_test(cli_firebird_tests LABEL firebird GTEST TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_test.cpp
  LIBS quorvin_controller)
add_dependencies(cli_firebird_tests quorvinctl)
target_compile_definitions(cli_firebird_tests PRIVATE QUORVINCTL="$<TARGET_FILE:quorvinctl>")
