# kenv-system-helper, the root helper, run on its own: hostile requests, and every operation
# traced by strace (label peer), which must never see it open a path the request names.
if(TARGET kenv-system-helper)
  find_program(KENV_STRACE_PROGRAM strace REQUIRED)
  kenv_add_test(helper_input_test helper_input_test.cpp LABEL cli)
  kenv_add_test(helper_trace_test helper_trace_test.cpp LABEL peer)
  foreach(suite helper_input_test helper_trace_test)
    target_compile_definitions(${suite} PRIVATE KENV_HELPER="$<TARGET_FILE:kenv-system-helper>"
      KENV_STRACE="${KENV_STRACE_PROGRAM}"
      KENV_REQUEST_CORPUS="${PROJECT_SOURCE_DIR}/fuzz/corpus/request_fuzzer")
    add_dependencies(${suite} kenv-system-helper)
  endforeach()
endif()
