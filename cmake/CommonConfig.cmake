# One interface target carries the language standard, warnings and Qt hygiene
# defines; every project target links it instead of setting flags itself.
add_library(vexa_common INTERFACE)
target_compile_features(vexa_common INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(vexa_common INTERFACE -Wall -Wextra)
# GCC 12 reports -Wrestrict inside std::string at -O2 where nothing overlaps
# (a known false positive of that release); it would hide real warnings.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(vexa_common INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
endif()
target_compile_definitions(vexa_common INTERFACE
  QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_FOREACH
  QT_USE_QSTRINGBUILDER
  QT_DISABLE_DEPRECATED_BEFORE=0x060000)

if(VEXA_SANITIZE AND VEXA_TSAN)
  message(FATAL_ERROR "VEXA_SANITIZE and VEXA_TSAN cannot be combined")
endif()
if(VEXA_SANITIZE)
  target_compile_options(vexa_common INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vexa_common INTERFACE -fsanitize=address,undefined)
endif()
if(VEXA_TSAN)
  target_compile_options(vexa_common INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(vexa_common INTERFACE -fsanitize=thread)
endif()

# Fuzzing: every project object carries the fuzzer's coverage counters and
# the address and undefined-behaviour checks; only the targets of fuzz/ link
# the fuzzer's main.
if(VEXA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VEXA_FUZZ needs clang (scripts/fuzz sets it up)")
  endif()
  if(VEXA_SANITIZE OR VEXA_TSAN)
    message(FATAL_ERROR "VEXA_FUZZ brings its own sanitizers")
  endif()
  target_compile_options(vexa_common INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vexa_common INTERFACE -fsanitize=address,undefined)
endif()

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()
