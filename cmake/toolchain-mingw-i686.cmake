# Cross-compiles for 32-bit Windows (the product for every Windows) with
# MinGW-w64. Tests run through 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PC_MINGW_TRIPLE i686-w64-mingw32)
set(PC_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
