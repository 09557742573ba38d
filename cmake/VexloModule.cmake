# vexlo_module(<target> [RECURSE] [DEPS <targets>...] [TEST_DEPS <targets>...])
#
# One folder is one static library: every *.cpp of the folder that is not a
# *_test.cpp (and, with RECURSE, of its subfolders) is a source of <target>.
# The folder's *_test.cpp files form one GoogleTest binary, <target>_tests,
# whose cases CTest lists one by one.
function(vexlo_module target)
  cmake_parse_arguments(ARG "RECURSE" "" "DEPS;TEST_DEPS" ${ARGN})
  if(ARG_RECURSE)
    file(GLOB_RECURSE _all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  else()
    file(GLOB _all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  set(_sources ${_all})
  list(FILTER _sources EXCLUDE REGEX "_test\\.cpp$")
  set(_tests ${_all})
  list(FILTER _tests INCLUDE REGEX "_test\\.cpp$")

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
