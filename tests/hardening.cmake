# Hardening: two processes on one data directory, I/O and allocation failure injection,
# many threads at once, and a memory check of the exported operations. They exercise the
# Linux backend's files, so the Windows simulation build leaves them out.
if(KENV_WIN_SIM)
  return()
endif()

# Like kenv_add_test; TMPFS puts the sandbox on tmpfs, for tests that write thousands of
# files and are about something else than the disk.
function(hardening_add_test name)
  cmake_parse_arguments(T "TMPFS" "LABEL" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} kenv_test_support GTest::gtest_main)
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  set(env "")
  if(T_TMPFS AND IS_DIRECTORY /dev/shm)
    set(env ENVIRONMENT TMPDIR=/dev/shm)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${T_LABEL} RESOURCE_LOCK kenv_sysconf ${env})
endfunction()

# Snapshots of the sandbox and the fault injector of the file helpers' system calls.
add_library(hardening_support STATIC hardening_files.cpp)
target_link_libraries(hardening_support PUBLIC kenv_core kenv_test_support)

hardening_add_test(hardening_io_test hardening_io_test.cpp LIBS hardening_support)

# The replacement allocator cannot live beside a sanitizer's.
if(NOT KENV_SANITIZE)
  hardening_add_test(hardening_alloc_test hardening_alloc_test.cpp hardening_alloc.cpp TMPFS
    LIBS hardening_support)
endif()

# Two processes make 500 changes each, every one flushed to disk four times.
add_executable(hardening_worker hardening_worker.cpp)
target_link_libraries(hardening_worker PRIVATE kestrune-envvar-editor)
hardening_add_test(hardening_process_test hardening_process_test.cpp TMPFS LABEL slow
  LIBS kestrune-envvar-editor yyjson::yyjson)
target_compile_definitions(hardening_process_test PRIVATE
  HARDENING_WORKER="$<TARGET_FILE:hardening_worker>")
add_dependencies(hardening_process_test hardening_worker)

# Eight threads calling every export at once; the tsan preset checks it for data races.
hardening_add_test(hardening_threads_test hardening_threads_test.cpp TMPFS LIBS kestrune-envvar-editor)

# Every export once more, under valgrind's memcheck: no invalid access, no leak. The plain
# run is an ordinary test too.
hardening_add_test(hardening_memcheck_test hardening_memcheck_test.cpp LIBS kestrune-envvar-editor)
find_program(KENV_VALGRIND valgrind)
if(KENV_VALGRIND AND NOT KENV_SANITIZE)
  add_test(NAME hardening_memcheck COMMAND ${KENV_VALGRIND} --quiet --leak-check=full
    --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible
    --error-exitcode=1 $<TARGET_FILE:hardening_memcheck_test>)
  set_tests_properties(hardening_memcheck PROPERTIES LABELS memcheck RESOURCE_LOCK kenv_sysconf)
endif()
