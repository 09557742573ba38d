# Sanitizer flavours of the build, chosen by build type:
#   Debug  -> AddressSanitizer + UndefinedBehaviorSanitizer
#   Tsan   -> ThreadSanitizer
# Every target of the tree is compiled and linked with the same flags so that
# the core libraries, the tests and the tools agree.
set(_vexlo_asan_flags -fsanitize=address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
set(_vexlo_tsan_flags -fsanitize=thread -fno-omit-frame-pointer)

if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  add_compile_options(${_vexlo_asan_flags})
  add_link_options(-fsanitize=address,undefined)
elseif(CMAKE_BUILD_TYPE STREQUAL "Tsan")
  set(CMAKE_CXX_FLAGS_TSAN "-O1 -g" CACHE STRING "" FORCE)
  set(CMAKE_C_FLAGS_TSAN "-O1 -g" CACHE STRING "" FORCE)
  add_compile_options(${_vexlo_tsan_flags})
  add_link_options(-fsanitize=thread)
endif()
