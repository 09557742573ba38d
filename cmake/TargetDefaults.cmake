# vexlo_target_defaults(<target>)
#
# What every target of ours is built with: C++20 as a requirement of the
# target (so that whatever links it inherits it), and the warnings we keep
# clean. With VEXLO_WERROR (CI turns it on) a warning fails the build.
#
# Code that Qt generates into a target (moc output) is not ours to keep
# clean: it is compiled without these warnings.
option(VEXLO_WERROR "Treat warnings of our own targets as errors" OFF)

# clang's -Wconversion also warns on every change of signedness, which g++
# (the compiler CI holds to these warnings) leaves to -Wsign-conversion.
set(_vexlo_warnings -Wall -Wextra -Wconversion $<$<CXX_COMPILER_ID:Clang>:-Wno-sign-conversion>)
if(VEXLO_WERROR)
  list(APPEND _vexlo_warnings -Werror)
endif()

function(vexlo_target_defaults target)
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "INTERFACE_LIBRARY")
    target_compile_features(${target} INTERFACE cxx_std_20)
    return()
  endif()
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_compile_options(${target} PRIVATE ${_vexlo_warnings})
  get_target_property(_automoc ${target} AUTOMOC)
  if(_automoc)
    get_target_property(_binary_dir ${target} BINARY_DIR)
    set_source_files_properties(${_binary_dir}/${target}_autogen/mocs_compilation.cpp
                                TARGET_DIRECTORY ${target}
                                PROPERTIES COMPILE_OPTIONS "-w")
  endif()
endfunction()
