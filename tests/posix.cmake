# The Linux tests; the Windows simulation build runs tests/win.cmake instead.
if(KENV_WIN_SIM)
  return()
endif()

kenv_add_test(posix_backend_test posix_backend_test.cpp)
kenv_add_test(posix_envd_file_test posix_envd_file_test.cpp)
kenv_add_test(posix_envd_store_test posix_envd_store_test.cpp)
kenv_add_test(posix_rc_files_test posix_rc_files_test.cpp)
# Debian's skeleton start-up files, kept as test data: tests never download them.
target_compile_definitions(posix_rc_files_test PRIVATE KENV_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
kenv_add_test(posix_envd_peer_test posix_envd_peer_test.cpp LABEL peer)
