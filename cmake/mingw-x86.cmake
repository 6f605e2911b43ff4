# Cross-compiles for 32-bit Windows with mingw-w64, for the PCs that hold the
# cards: Pentium III and Athlon (i686, no SSE2), Windows 98 SE to XP
# (subsystem version 4.0). Built only: these machines cannot run 32-bit code,
# so no emulator is set.
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
set(CMAKE_CXX_FLAGS_INIT "-march=i686")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--major-subsystem-version,4,--minor-subsystem-version,0")
