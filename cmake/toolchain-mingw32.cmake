# Cross-compiling for 32-bit Windows: the 64-bit file with the i686 tool chain.
set(VTX_MINGW_TARGET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
