# Cross-compiles for 32-bit Windows with mingw-w64, for the PCs that hold the
# cards: Pentium II, Pentium III and Athlon (i686, no SSE), Windows 98 to XP
# (subsystem version 4.0). No emulator is set: these machines run no 32-bit
# code, and tools/x86-pc.sh runs the packaged program on an emulated PC.
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
set(CMAKE_CXX_FLAGS_INIT "-march=i686")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--major-subsystem-version,4,--minor-subsystem-version,0")
