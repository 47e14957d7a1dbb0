# Cross-compiling for Windows with MinGW-w64 (posix threads model), for the
# architecture the including toolchain file names in VELRA_MINGW_ARCH.
# Tests run under this build's Wine (scripts/wine-run, scripts/arch).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VELRA_MINGW_ARCH})
set(CMAKE_C_COMPILER ${VELRA_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELRA_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${VELRA_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VELRA_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env VELRA_ARCH=${VELRA_MINGW_ARCH} ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
