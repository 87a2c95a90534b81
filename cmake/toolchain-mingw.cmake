# Cross-compiling for Windows with Debian's MinGW-w64 (posix thread model): 64-bit unless a
# toolchain file that includes this one chose another target first.
if(NOT DEFINED VTX_MINGW_TARGET)
  set(VTX_MINGW_TARGET x86_64-w64-mingw32)
  set(CMAKE_SYSTEM_PROCESSOR x86_64)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VTX_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VTX_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${VTX_MINGW_TARGET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VTX_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests built for Windows run under wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
set(ZLIB_USE_STATIC_LIBS ON)
