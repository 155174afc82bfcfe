# Cross-build for Windows x86-64 with Debian's mingw-w64 (posix threading model, g++ 12).
# Use: cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=<absolute path of this file>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORV_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ORV_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORV_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ORV_MINGW_TRIPLET}-windres)

# Libraries, headers and packages of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${ORV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime, winpthreads and zlib linked in statically: the DLLs and programs need nothing
# beside them but the system's own DLLs.
set(ZLIB_LIBRARY /usr/${ORV_MINGW_TRIPLET}/lib/libz.a CACHE FILEPATH "static zlib of mingw-w64")
set(ZLIB_INCLUDE_DIR /usr/${ORV_MINGW_TRIPLET}/include CACHE PATH "zlib headers of mingw-w64")
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

# Test programs run under Wine, through a launcher that repeats a run only when Wine itself fails
# while exiting (see the script).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
