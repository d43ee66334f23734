# Cross-builds Tessaro for 32-bit Windows with Debian's mingw-w64
# (g++-mingw-w64-i686-posix): every exported function __stdcall, exported
# under its undecorated name (cmake/windows.cmake).
#   cmake -S . -B build-windows/x86 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TESSARO_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
