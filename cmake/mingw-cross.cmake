# What both mingw-w64 toolchain files share: Debian's cross compilers with POSIX threads, for the
# TOOLCHAIN_PREFIX the including file sets, and Wine as the way to run what they build.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${TOOLCHAIN_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run under Wine in the build tree's private prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)

# The installation program links the C++ runtime of the same compiler built for the win32 thread
# model instead (src/app): it starts no threads, and the POSIX model's runtime brings winpthreads with
# it, about 30 KB. The two builds of the runtime differ only in their threading support; the tests,
# which use std::thread, keep the POSIX one. A threading facility that the win32 runtime lacks
# (std::thread, std::call_once, condition variables) makes the installation program's link fail.
execute_process(COMMAND ${TOOLCHAIN_PREFIX}-gcc-win32 -print-libgcc-file-name
                OUTPUT_VARIABLE win32_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(EXISTS "${win32_libgcc}")
  cmake_path(GET win32_libgcc PARENT_PATH TVK_WIN32_THREADS_RUNTIME)
endif()
