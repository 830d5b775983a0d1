# Shared part of the two mingw-w64 toolchain files.
set(CMAKE_C_COMPILER ${QUORVEL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVEL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVEL_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUORVEL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Windows test programs run under Wine; the wrapper supplies the project's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
