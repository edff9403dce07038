# Cross-compiles for 64-bit Windows with MinGW-w64; the programs run under Wine.
set(TRACEWELL_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
set(TRACEWELL_TWAIN_ABI win64 CACHE STRING "TWAIN ABI to build for")
