# Cross-compiles for 64-bit Windows with MinGW-w64: a second, tested target beside the
# 32-bit product; it also runs where a host executes no 32-bit code and Wine can only
# run 64-bit programs.
set(ORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
