# Cross build for 64-bit Windows with Debian's MinGW-w64 tool chain (posix threads variant).
# Programs built here run under Wine: tests go through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PATCH_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PATCH_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PATCH_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PATCH_MINGW_PREFIX}-windres)
set(CMAKE_AR ${PATCH_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${PATCH_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

# Libraries and headers for Windows only: never the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${PATCH_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
