# Shared part of the two MinGW-w64 toolchains (posix thread model, which
# GoogleTest's std::mutex use needs). The including file sets PC_MINGW_TRIPLE
# and PC_WINE_ARCH; tests run through the Wine that runs that architecture.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${PC_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PC_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PC_MINGW_TRIPLE}-windres)
set(CMAKE_ASM_NASM_COMPILER nasm)

set(CMAKE_FIND_ROOT_PATH /usr/${PC_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ${PC_WINE_ARCH})
