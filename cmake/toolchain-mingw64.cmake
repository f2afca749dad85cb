# Cross build for 64-bit Windows with Debian's MinGW-w64 toolchain (the POSIX thread model, which
# std::thread needs). Tests run through Wine when it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLMARK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLMARK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLMARK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLMARK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLMARK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A self-contained program: the C++ runtime, libgcc and winpthread linked in, no DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(QUILLMARK_WINE NAMES wine64 wine)
if(QUILLMARK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLMARK_WINE})
endif()
