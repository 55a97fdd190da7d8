# Cross-building for Windows with Debian's MinGW-w64 compilers, the variant whose threads are
# POSIX threads (winpthreads), which the C++ library's std::thread and std::mutex are built
# on. Included by the toolchain file of each processor, which sets QUILLBOX_MINGW_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QUILLBOX_MINGW_PROCESSOR})
set(QUILLBOX_MINGW_TARGET ${QUILLBOX_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLBOX_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLBOX_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLBOX_MINGW_TARGET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLBOX_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
