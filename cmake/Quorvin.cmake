# Helpers shared by every subsystem's CMakeLists.txt.

# quorvin_add_subsystem(<target> [DEPS <targets>...] [QT])
# A static library of every .cpp in the calling folder (a new file needs no
# edit here). QT marks the user-interface subsystems.
function(quorvin_add_subsystem target)
  cmake_parse_arguments(ARG "QT" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(NOT sources)
    set(sources "${PROJECT_SOURCE_DIR}/cmake/empty.cpp")
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${target} PUBLIC ${ARG_DEPS})
endfunction()

# quorvin_add_test(<name> LABEL <unit|firebird|gui> SOURCES ... [LIBS ...]
#                  [GTEST] [TIMEOUT s])
# GTEST links GoogleTest/GMock with a main; otherwise the sources bring their
# own main (Qt Test). Each GoogleTest case becomes one CTest test.
function(quorvin_add_test name)
  cmake_parse_arguments(ARG "GTEST" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/src" "${PROJECT_SOURCE_DIR}/tests")
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  # Unit tests keep their files in memory where the system offers it: they
  # write records of jobs by the thousand, and each is flushed to the disk.
  set(environment "QUORVIN_TEST_BIN_DIR=${CMAKE_BINARY_DIR}")
  if(ARG_LABEL STREQUAL "unit" AND IS_DIRECTORY /dev/shm)
    list(APPEND environment "TMPDIR=/dev/shm")
  endif()
  if(ARG_GTEST)
    target_link_libraries(${name} PRIVATE GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${name}
      DISCOVERY_MODE PRE_TEST
      PROPERTIES LABELS "${ARG_LABEL}" TIMEOUT ${ARG_TIMEOUT}
                 ENVIRONMENT "${environment}")
  else()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABEL}" TIMEOUT ${ARG_TIMEOUT}
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUORVIN_TEST_BIN_DIR=${CMAKE_BINARY_DIR}")
  endif()
endfunction()
