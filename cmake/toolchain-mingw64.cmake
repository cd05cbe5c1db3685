# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix threads) and runs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TALPIR_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model: GCC 12's std::thread and std::mutex need it on MinGW.
set(CMAKE_C_COMPILER ${TALPIR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALPIR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TALPIR_MINGW_TRIPLE}-windres)

# Libraries and packages from the MinGW tree only, never the host's; tools from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${TALPIR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static libstdc++, libgcc and winpthread: the executables run without MinGW's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Test discovery and ctest run the executables through Wine, in a prefix of the build's own.
# A Russian locale (made by scripts/cross-windows.sh) gives Wine the users' code page, 1251.
find_program(TALPIR_WINE NAMES wine64 wine)
if(TALPIR_WINE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEDEBUG=-all WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDLLOVERRIDES=mscoree,mshtml=
      LOCPATH=${CMAKE_BINARY_DIR}/locale LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 ${TALPIR_WINE})
endif()
