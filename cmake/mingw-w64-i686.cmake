# Cross-build for 32-bit Windows with Debian's MinGW-w64 toolchain; programs
# built here run under 32-bit Wine (cmake/wine.cmake), where the machine can
# execute 32-bit programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(SPECTROGRID_DLLTOOL i686-w64-mingw32-dlltool)
set(SPECTROGRID_OBJDUMP i686-w64-mingw32-objdump)
set(SPECTROGRID_WINE_ARCH win32)
# The caller's stack may be only 4-byte aligned, so functions that need more
# realign it themselves. (SSE2 doubles instead of the x87 unit are asked for
# by the project for every 32-bit x86 build.)
set(CMAKE_CXX_FLAGS_INIT "-mincoming-stack-boundary=2")
set(CMAKE_C_FLAGS_INIT "-mincoming-stack-boundary=2")
