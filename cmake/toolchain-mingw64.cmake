# Cross build for 64-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-x86-64-posix). The posix thread
# model is needed: the compiler of the win32 model has no std::mutex or std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(tarvellin_mingw_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${tarvellin_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${tarvellin_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${tarvellin_mingw_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${tarvellin_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe each: no libstdc++, libgcc or winpthread DLLs to ship or to find under Wine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The executables (tests, and the test lists read at test time) run through Wine on the build machine.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
