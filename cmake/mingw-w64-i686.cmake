# Cross-compiles for 32-bit Windows, XP and later, with mingw-w64; every
# program is linked statically so that it runs with no DLL beside it. Test
# programs run under wine (with wine32). The win32 thread model, as for
# 64-bit: winpthreads imports functions that Windows XP lacks.
#
# Reals are computed on the SSE2 unit, as on x64, so that every result and
# so every byte on the console is the same in both programs; the x87 unit
# keeps long double. A processor without SSE2 cannot run the program.
# Windows calls into a program with the stack aligned to 4 bytes only, so
# functions that need more realign it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Windows XP (5.01) is the oldest Windows that may load the programs.
set(QUORVANE_OLDEST_WINDOWS 5.1)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
