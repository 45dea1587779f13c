# kenv, the command-line front end, run as a user runs it: each test starts the built
# binary in the sandbox's temporary HOME and XDG folders and checks what it prints and
# its exit status. The shell test starts sh, bash, zsh and fish, so it carries the label
# peer.
if(TARGET kenv)
  foreach(suite kenv_cli_test kenv_path_test kenv_backups_test kenv_doctor_test kenv_state_test kenv_profile_test kenv_shell_test
          kenv_shell_install_test kenv_completion_test kenv_docs_test kenv_pipeline_test kenv_env_test
          session_peer_test)
    if(suite MATCHES "^(kenv_shell|kenv_completion|session_peer)")
      set(label peer)
    else()
      set(label cli)
    endif()
    kenv_add_test(${suite} ${suite}.cpp kenv_run.cpp LABEL ${label}
      LIBS kestrune-envvar-editor yyjson::yyjson)
    target_compile_definitions(${suite} PRIVATE KENV_BIN="$<TARGET_FILE:kenv>"
      KENV_VERSION="${PROJECT_VERSION}"
      KENV_COMPLETIONS_DIR="${PROJECT_SOURCE_DIR}/tools/kenv/completions"
      KENV_MAN_PAGE="${PROJECT_BINARY_DIR}/tools/kenv/kenv.1")
    add_dependencies(${suite} kenv)
  endforeach()
endif()

# Every kind of change killed by strace at each of its writes, renames, links and unlinks
# (label kill), and run at the same moment as another (label slow), each checked through kenv
# and against systemd's generator and dash.
if(TARGET kenv)
  foreach(suite kenv_kill_test kenv_race_test)
    if(suite STREQUAL kenv_kill_test)
      set(label kill)
    else()
      set(label slow)
    endif()
    kenv_add_test(${suite} ${suite}.cpp kenv_changes.cpp kenv_run.cpp LABEL ${label}
      LIBS kestrune-envvar-editor yyjson::yyjson)
    target_compile_definitions(${suite} PRIVATE KENV_BIN="$<TARGET_FILE:kenv>")
    add_dependencies(${suite} kenv)
  endforeach()
endif()

# doctor's Windows checks over listings made in the test, so they run on every machine.
if(TARGET kenv OR KENV_WIN_SIM)
  set(kenv_dir ${PROJECT_SOURCE_DIR}/tools/kenv)
  kenv_add_test(kenv_doctor_windows_test kenv_doctor_windows_test.cpp ${kenv_dir}/doctor_checks.cpp
    LIBS kenv_frontend GTest::gmock)
  target_include_directories(kenv_doctor_windows_test PRIVATE ${kenv_dir})
endif()

# The front ends' reading of the library's documents and their own state documents, over
# documents written in the test.
if(TARGET kenv OR Qt6Widgets_FOUND)
  kenv_add_test(frontend_listing_test frontend_listing_test.cpp LIBS kenv_frontend)
  kenv_add_test(frontend_state_test frontend_state_test.cpp LIBS kenv_frontend)
endif()
