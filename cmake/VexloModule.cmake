# vexlo_module(<target> [DEPS <targets>...] [TEST_DEPS <targets>...]
#              SOURCES <files>... [TESTS <files>...])
#
# One folder is one static library built from the SOURCES listed in its
# CMakeLists.txt (named one by one, so that a stray file never slips into a
# build). The folder's TESTS form one GoogleTest binary, <target>_tests, whose
# cases CTest lists one by one.
function(vexlo_module target)
  cmake_parse_arguments(ARG "" "" "DEPS;TEST_DEPS;SOURCES;TESTS" ${ARGN})
  set(_sources ${ARG_SOURCES})
  set(_tests ${ARG_TESTS})

  if(_sources)
    add_library(${target} STATIC ${_sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
    vexlo_target_defaults(${target})
  else()
    # A layer that has no code yet still takes its place in the graph.
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
    vexlo_target_defaults(${target})
  endif()
  add_library(vexlo::${target} ALIAS ${target})

  if(VEXLO_BUILD_TESTS AND _tests)
    add_executable(${target}_tests ${_tests})
    target_link_libraries(${target}_tests PRIVATE ${target} vexlo_testsupport
                          ${ARG_TEST_DEPS} GTest::gtest GTest::gmock)
    vexlo_target_defaults(${target}_tests)
    gtest_discover_tests(${target}_tests DISCOVERY_MODE PRE_TEST)
  endif()
endfunction()
