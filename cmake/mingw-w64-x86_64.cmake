# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix).
# The "posix" thread model is the one whose C++ library has std::mutex, which the library's
# lock is made of.
#
#   cmake --preset windows -DCMAKE_PREFIX_PATH=<prefix holding yyjson built for Windows>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KENV_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${KENV_MINGW_TRIPLE}-gcc-posix ${KENV_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KENV_MINGW_TRIPLE}-g++-posix ${KENV_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KENV_MINGW_TRIPLE}-windres)

# Libraries, headers and packages come from the target's tree or from the prefixes named in
# CMAKE_PREFIX_PATH (yyjson built for Windows), never from the build machine's own, whose
# Linux yyjson would otherwise be found; programs run on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${KENV_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The DLL and the programs carry their C and C++ runtimes, so nothing beside them is needed.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# g++ 12 at -O3 reports an overlapping copy inside std::string's operator+ chains that cannot
# happen (GCC bug 105329, -Wrestrict); it stays a warning here, as in the bench preset.
set(CMAKE_CXX_FLAGS_INIT "-Wno-error=restrict")
