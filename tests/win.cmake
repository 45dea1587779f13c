# The Windows backend's tests. The simulation build (KENV_WIN_SIM) runs them over the registry
# simulator of tests/winsim, and none of the Linux tests. A Linux build runs the registry
# checks against wine's real registry instead (label peer): the checks are cross-compiled
# with mingw-w64 into a Windows program, which the test runs under wine. Where mingw-w64 or
# wine is missing the test is skipped and says how to install them.
if(KENV_WIN_SIM)
  kenv_add_test(win_registry_test win_registry_test.cpp win_registry_checks.cpp LABEL windows)
  kenv_add_test(win_env_test win_env_test.cpp LABEL windows)
  kenv_add_test(win_library_test win_library_test.cpp LABEL windows LIBS kenv_core yyjson::yyjson)
  # The counting allocator replaces malloc, which a sanitizer's runtime owns.
  if(NOT KENV_SANITIZE)
    kenv_add_test(win_alloc_test win_alloc_test.cpp hardening_alloc.cpp LABEL windows)
  endif()
  return()
endif()
if(WIN32 OR KENV_SANITIZE)
  # Sanitizers change nothing in a program built by another compiler: one run is enough.
  return()
endif()

find_program(KENV_MINGW_CXX NAMES x86_64-w64-mingw32-g++-posix)
find_program(KENV_WINE64 NAMES wine64 HINTS /usr/lib/wine)
set(KENV_WINE_CHECK_EXE "")
if(KENV_MINGW_CXX)
  include(ExternalProject)
  set(KENV_WINE_CHECK_EXE ${CMAKE_CURRENT_BINARY_DIR}/wine-check/win_wine_check.exe)
  ExternalProject_Add(win_wine_check
    SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/wine
    BINARY_DIR ${CMAKE_CURRENT_BINARY_DIR}/wine-check
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
      -DCMAKE_BUILD_TYPE=Debug
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${KENV_WINE_CHECK_EXE})
endif()
kenv_add_test(win_wine_test win_wine_test.cpp LABEL peer)
target_compile_definitions(win_wine_test PRIVATE
  KENV_WINE_CHECK_EXE="${KENV_WINE_CHECK_EXE}"
  KENV_WINE64="$<$<BOOL:${KENV_WINE64}>:${KENV_WINE64}>"
  KENV_WINE_DIR="${CMAKE_CURRENT_BINARY_DIR}/wine")
if(TARGET win_wine_check)
  add_dependencies(win_wine_test win_wine_check)
endif()
