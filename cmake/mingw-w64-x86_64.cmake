# Cross-build for 64-bit Windows with Debian's MinGW-w64 toolchain; programs
# built here run under 64-bit Wine (cmake/wine.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(SPECTROGRID_DLLTOOL x86_64-w64-mingw32-dlltool)
set(SPECTROGRID_OBJDUMP x86_64-w64-mingw32-objdump)
set(SPECTROGRID_WINE_ARCH win64)
# GCC cannot align the stack beyond 16 bytes on 64-bit Windows; spilled
# vector registers must then be moved with unaligned instructions.
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
