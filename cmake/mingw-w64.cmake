# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix thread
# model, so std::thread works). Programs link libgcc, libstdc++ and
# winpthread statically and need no DLLs beside them.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VL5_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VL5_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VL5_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VL5_MINGW_TRIPLE}-windres)

# Search headers, libraries and packages in the Windows sysroot only, so that
# the build machine's Linux packages (GTest, Python, ...) are never picked up.
set(CMAKE_FIND_ROOT_PATH /usr/${VL5_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static also takes winpthread, which -static-libgcc/-static-libstdc++ leave
# as a DLL; Windows system libraries stay import libraries either way.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
