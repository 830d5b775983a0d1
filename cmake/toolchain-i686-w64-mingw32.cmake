# Cross toolchain for the 32-bit plug-in (Quorvel.spi).
# The -posix compilers are needed: the win32 thread model has no std::mutex/std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QUORVEL_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
