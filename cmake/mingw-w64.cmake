# Cross build for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread
# model, for std::thread). The programs link the C++ runtime statically, so
# they run on a plain Windows without extra DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(FLASHKIT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FLASHKIT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FLASHKIT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FLASHKIT_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${FLASHKIT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Run what the build makes (gtest's test discovery, for one) under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
