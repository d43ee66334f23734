# What the two Windows toolchains share: Debian's mingw-w64 for the target
# TESSARO_MINGW_TRIPLET, which mingw-w64-x86_64.cmake (64-bit Windows) or
# mingw-w64-i686.cmake (32-bit Windows) sets before including this file.
# The posix thread model is chosen explicitly: the library's lock is a
# std::recursive_mutex, which the win32 model of GCC 12 does not provide.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TESSARO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSARO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSARO_MINGW_TRIPLET}-windres)
set(CMAKE_DLLTOOL ${TESSARO_MINGW_TRIPLET}-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/${TESSARO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The GCC runtime (libgcc, libstdc++, winpthread) is linked into every DLL and
# program, so Tessaro.dll needs nothing beside it but the system's own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Tests run the Windows programs under wine, quietly, in a wine prefix of the
# build folder's own unless TESSARO_WINEPREFIX names another (the 64-bit and
# 32-bit builds of `make windows` share one; `make test-windows` creates it
# before the tests).
find_program(TESSARO_WINE NAMES wine)
set(TESSARO_WINEPREFIX ${CMAKE_BINARY_DIR}/wine CACHE PATH "wine prefix the tests run in")
if(TESSARO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEPREFIX=${TESSARO_WINEPREFIX} WINEDEBUG=-all ${TESSARO_WINE})
endif()

# CLI11 and nlohmann-json are header-only: the host's packages serve, through
# package files that bring their headers alone.
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw-packages/CLI11 CACHE PATH "")
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw-packages/nlohmann_json CACHE PATH "")
