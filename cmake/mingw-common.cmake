# What both MinGW-w64 toolchain files share; they set TOBRISK_MINGW_TRIPLET first.
# The -posix compilers give std::thread and std::mutex (over winpthreads); every
# executable and DLL links the C and C++ runtimes and winpthreads statically, so
# nothing needs a runtime DLL beyond the system's.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TOBRISK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOBRISK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TOBRISK_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOBRISK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
