# Cross-building the Windows programs on Debian with mingw-w64 (the "-posix" compilers: their
# libstdc++ has std::thread and std::mutex). `make windows` passes this file to CMake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QOB_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QOB_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QOB_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QOB_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${QOB_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${QOB_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
# Libraries and headers of the target only (Debian's mingw zlib, what the build made from Debian's
# sources); programs (pkg-config, the compilers) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QOB_MINGW_TRIPLE} ${QOB_WIN64_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Windows tests run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
