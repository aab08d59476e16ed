# Windows x64 programs built on Debian with mingw-w64. The posix thread model
# is the one whose libstdc++ has std::thread and std::mutex in GCC 12.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DL250T_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${DL250T_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DL250T_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${DL250T_MINGW_TRIPLET}-windres)

# Libraries and headers come from the cross environment only, never from the
# build machine's /usr; programs (wine, objdump) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${DL250T_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Statically linked: the programs import system DLLs only and run on any
# Windows 10/11 PC with nothing to install.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine, in a prefix of the build folder's own, quietly,
# and without Mono or Gecko, which console programs do not need.
set(DL250T_WINEPREFIX ${CMAKE_BINARY_DIR}/wine)
set(DL250T_WINE_ENVIRONMENT
    WINEPREFIX=${DL250T_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
find_program(DL250T_WINE wine)
if(DL250T_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        ${CMAKE_COMMAND} -E env ${DL250T_WINE_ENVIRONMENT} ${DL250T_WINE})
endif()

# Header-only libraries of the build machine that Windows programs may use.
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw-w64/nlohmann_json)
