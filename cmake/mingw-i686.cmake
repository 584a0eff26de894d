# Cross-compiles for 32-bit Windows with MinGW-w64: the product's own target.
# Tests run under Wine (see the top-level CMakeLists.txt).
set(ORVANE_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
