# Cross-compiles for Windows x64 with mingw-w64 (posix threads model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(NX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${NX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${NX_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${NX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests run under Wine, in a prefix that belongs to the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run")
