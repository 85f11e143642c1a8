# Cross build for 32-bit Windows with the MinGW-w64 i686 compilers. The
# programs run under wine, which CTest uses to start every test program.
#
#   cmake -S . -B build-win32 -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(QORTA_MINGW_PREFIX i686-w64-mingw32)
# The POSIX thread model: GoogleTest needs std::mutex, which the Win32
# thread model of this compiler generation lacks. The thread library is
# linked in statically like the rest of the runtime.
set(CMAKE_C_COMPILER ${QORTA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QORTA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QORTA_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QORTA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The Windows ABI keeps the stack only 4-byte aligned, and the host editor
# calls the plug-ins from its own code: functions that need 16-byte
# alignment for SSE2 realign the stack themselves. (SSE2 arithmetic and
# exact floating point come from CompilerFlags.cmake, as for every x86
# build.)
set(CMAKE_CXX_FLAGS_INIT "-mincoming-stack-boundary=2")
# The C++ library, libgcc and the thread library are linked in, so that
# every program and plug-in runs alone (msvcrt.dll is part of Windows).
# Without a link time stamp in their headers the same sources give the same
# program files.
set(QORTA_MINGW_LINK_FLAGS "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${QORTA_MINGW_LINK_FLAGS}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${QORTA_MINGW_LINK_FLAGS}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${QORTA_MINGW_LINK_FLAGS}")
# Release files carry no symbol tables.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_SHARED_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_MODULE_LINKER_FLAGS_RELEASE_INIT "-s")

# Test programs start through wine, quietly (see wine-run.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
