# Cross-compiles for 32-bit Windows with mingw-w64. Built only: these
# machines cannot run 32-bit code, so no emulator is set.
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
