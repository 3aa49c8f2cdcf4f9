# qv_add_tests(<target> LABEL <label> SOURCES <files...> LIBS <libs...>)
# Builds one GoogleTest program for a subsystem and registers each of its
# tests with CTest under the subsystem's label.
function(qv_add_tests target)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS ${ARG_LABEL})
endfunction()
