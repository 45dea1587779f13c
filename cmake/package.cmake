# `cpack -G DEB`: one Debian package with the library, its header and development files,
# kenv, its man page and its shell completions. It depends on yyjson 0.12 (Debian 12 lacks
# it: scripts/install-deps.sh installs it) and on what dpkg-shlibdeps finds for the C and
# C++ runtimes. Removing the package keeps every variable; purging it removes the system
# scope's drop-ins under the system configuration directory (the postrm script says so).
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The kestrune-envvar-editor authors")
set(CPACK_PACKAGE_CONTACT "The kestrune-envvar-editor authors <kestrune-envvar-editor@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "view and edit persistent environment variables")
set(CPACK_PACKAGE_DESCRIPTION "kestrune-envvar-editor is a shared library with a C interface that \
views and edits persistent environment variables of the user and of the system (systemd's \
environment.d and a shell export file), with a backup before every change, and kenv, its \
command-line front end. MIT licence.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Optimised builds carry debug information; the package ships the binaries without it.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libyyjson0 (>= 0.12)")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Where the system scope's store and backups live. The package does not create the folder:
# the first change of the system scope does, with the modes it needs.
set(KENV_STATE_DIR ${KENV_LOCALSTATEDIR}/lib/pellomar)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/postrm.in ${PROJECT_BINARY_DIR}/debian/postrm @ONLY)
file(CHMOD ${PROJECT_BINARY_DIR}/debian/postrm PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/postrm)

set(CPACK_GENERATOR DEB)
include(CPack)
