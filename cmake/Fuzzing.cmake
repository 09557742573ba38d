# vexlo_fuzzer(<name> SOURCES <files> DEPS <targets>)
#
# With VEXLO_FUZZ (configure with CC=clang CXX=clang++) the target is a
# libFuzzer binary. Otherwise it is linked with a small replayer and every
# file under fuzz/corpus/<name>/ is replayed as an ordinary CTest test, so
# each test run re-checks the inputs that once found a fault.
if(VEXLO_FUZZ)
  # The libraries under test need coverage feedback and the sanitizers too,
  # not only the fuzz target's own file.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
  # Everything else the tree links (unit tests, tools) uses those libraries
  # too and needs the sanitizer runtimes.
  add_link_options(-fsanitize=address,undefined)
endif()

function(vexlo_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  if(VEXLO_FUZZ)
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS})
    vexlo_target_defaults(${name})
  elseif(VEXLO_BUILD_TESTS)
    add_executable(${name}_replay ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    target_link_libraries(${name}_replay PRIVATE ${ARG_DEPS})
    vexlo_target_defaults(${name}_replay)
    add_test(NAME fuzz_replay.${name}
             COMMAND ${name}_replay ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  endif()
endfunction()
