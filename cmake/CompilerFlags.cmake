# Output samples must be bit-identical to the written order of operations in
# IEEE double precision: multiply and add stay separately rounded, sums are
# never reordered, and 32-bit x86 uses SSE2 instead of the x87 unit.
add_compile_options(-Wall -Wextra -Werror -ffp-contract=off -fno-fast-math)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$" OR
   (CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$" AND CMAKE_SIZEOF_VOID_P EQUAL 4))
  add_compile_options(-msse2 -mfpmath=sse)
endif()

# MinGW's own formatted print follows C99, as the Linux C library does,
# so that progress values and percentages read alike on both platforms;
# and <cmath> names M_PI there too, as the Linux headers always do.
if(MINGW)
  add_compile_definitions(__USE_MINGW_ANSI_STDIO=1 _USE_MATH_DEFINES)
endif()

# GCC leaves the conversion of an out-of-range double to an integer out of
# -fsanitize=undefined; it is named so that such a conversion fails too.
if(QORTA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined,float-cast-overflow)
endif()

# The fuzz build: every library carries the fuzzer's coverage counters and
# both sanitizers; the fuzz programs add the fuzzer's own main (fuzz/).
if(QORTA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QORTA_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer -gline-tables-only)
  add_link_options(-fsanitize=address,undefined)
endif()
