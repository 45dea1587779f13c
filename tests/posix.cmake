# The Linux tests; the Windows simulation build runs tests/win.cmake instead.
if(KENV_WIN_SIM)
  return()
endif()

kenv_add_test(posix_backend_test posix_backend_test.cpp)
kenv_add_test(posix_envd_file_test posix_envd_file_test.cpp)
kenv_add_test(posix_envd_store_test posix_envd_store_test.cpp)
kenv_add_test(posix_rc_files_test posix_rc_files_test.cpp)
kenv_add_test(posix_envd_peer_test posix_envd_peer_test.cpp LABEL peer)
