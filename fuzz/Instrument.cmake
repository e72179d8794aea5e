# Included by the top CMakeLists.txt before any library when TESSIVO_FUZZ is on: every library is
# built with libFuzzer's coverage instrumentation and the address and undefined-behaviour
# sanitizers, so that the fuzz targets in this folder see inside the code they drive.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "TESSIVO_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++ "
                      "(scripts/fuzz.sh does)")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                    -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)
