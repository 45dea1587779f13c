# The benchmarks' smoke run: every benchmark once on the smallest workload, no timing
# checked, so that they keep building and running. bench/ is read after tests/, so the
# check for its target waits until the whole project has been read.
function(kenv_add_bench_smoke)
  if(TARGET kenv_bench)
    add_test(NAME bench.smoke COMMAND kenv_bench --smoke --benchmark_format=console)
    set_tests_properties(bench.smoke PROPERTIES LABELS bench RESOURCE_LOCK kenv_sysconf TIMEOUT 300)
  endif()
  if(TARGET kenv_gui_bench)
    add_test(NAME bench.gui_smoke COMMAND kenv_gui_bench --smoke)
    set_tests_properties(bench.gui_smoke PROPERTIES LABELS bench RESOURCE_LOCK kenv_sysconf TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL kenv_add_bench_smoke)
