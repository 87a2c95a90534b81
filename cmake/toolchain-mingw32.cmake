# Cross-compiling for 32-bit Windows: the 64-bit file with the i686 tool chain. Every Windows
# since 8 requires SSE2; doing float arithmetic in SSE registers, as the 64-bit build does,
# also keeps the two builds' pixels equal (x87 registers round differently). GCC 12 warns
# falsely about memset bounds on unreachable shrink paths when size_t is 32 bits wide.
set(VTX_MINGW_TARGET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -Wno-stringop-overflow -Wno-array-bounds")
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
