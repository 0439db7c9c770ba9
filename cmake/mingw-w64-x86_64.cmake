# Cross-builds voltrane.exe for 64-bit Windows with Debian's MinGW-w64 packages
# (g++-mingw-w64-x86-64-posix, libz-mingw-w64-dev). The posix flavour gives std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VOLTRANE_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VOLTRANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VOLTRANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VOLTRANE_MINGW_PREFIX}-windres)

# Libraries and headers of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VOLTRANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and test discovery run the executables under Wine when it is there.
find_program(VOLTRANE_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VOLTRANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VOLTRANE_WINE})
endif()
