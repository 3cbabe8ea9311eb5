# Off-site copies: quorvinctl against the real server and the RADOS gateway
# that scripts/start_s3_gateway.sh starts (label "s3").
quorvin_add_test(offsite_s3_tests LABEL s3 GTEST TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/offsite_test.cpp
  LIBS quorvin_controller)
add_dependencies(offsite_s3_tests quorvinctl)
target_compile_definitions(offsite_s3_tests PRIVATE QUORVINCTL="$<TARGET_FILE:quorvinctl>")

# The plan's off-site copies through the core's plan job: the copy, retention
# in the bucket and Object Lock.
quorvin_add_test(offsite_plan_s3_tests LABEL s3 GTEST TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/offsite_plan_test.cpp
  LIBS quorvin_controller)
