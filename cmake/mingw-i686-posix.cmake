# The same cross-build with the posix thread model compilers, for the tree of
# the Windows unit tests: GoogleTest needs std::mutex and std::thread, which
# the default (win32 thread model) compilers lack. The installer's own tree
# keeps cmake/mingw-i686.cmake, whose runtime keeps the stub small.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
