# Cross-compiles for 64-bit Windows with mingw-w64; every program is linked
# statically so that it runs with no DLL beside it. Test programs run under
# wine. The win32 thread model: the posix one links winpthreads, which
# imports functions that Windows XP lacks (GetTickCount64), and the program
# starts no thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Windows XP x64 (5.02) is the oldest 64-bit Windows: the oldest that may
# load the programs.
set(QUORVANE_OLDEST_WINDOWS 5.2)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
