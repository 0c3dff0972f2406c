# Cross-compiles for 64-bit Windows (the second product, for very large
# pictures) with MinGW-w64. Tests run through 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PC_MINGW_TRIPLE x86_64-w64-mingw32)
set(PC_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
