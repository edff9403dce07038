# Cross-compiles for 32-bit Windows with MinGW-w64; the programs run under Wine.
set(TRACEWELL_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
set(TRACEWELL_TWAIN_ABI win32 CACHE STRING "TWAIN ABI to build for")
