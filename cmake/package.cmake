# `cpack -G DEB`: the packages a Debian maintainer would make, one per install component:
#
#   libkestrune-envvar-editor0     the shared library (SONAME in the name), with shlibs and
#                                  symbols files, so that packages built against it depend on it
#   libkestrune-envvar-editor-dev  the header, the .so link, the pkg-config and CMake files
#   kenv                           the CLI, its man page and completions; its postrm removes
#                                  the system scope's drop-ins on purge
#   kenv-gui                       the desktop front end, its menu entry, icon, AppStream data,
#                                  man page, and the helper and polkit action through which it
#                                  changes the system scope
#
# The library depends on yyjson 0.12 (Debian 12 lacks it: scripts/install-deps.sh installs
# it); every package gets what dpkg-shlibdeps finds for its binaries (the C and C++ runtimes,
# Qt 6), and the dependencies between them are exact versions, as they come from one source.
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The kestrune-envvar-editor authors")
set(CPACK_PACKAGE_CONTACT "The kestrune-envvar-editor authors <kestrune-envvar-editor@kestrune.org>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Optimised builds carry debug information; the packages ship the binaries without it.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${KENV_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KENV_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(kenv_exact "(= ${PROJECT_VERSION})")
# Each description is its synopsis, then the lines of its text (an empty line between
# paragraphs), as cpack formats them for the control file.
set(kenv_common "kestrune-envvar-editor views and edits the environment variables that
persist across sessions, of the user and of the system: systemd's
environment.d and a file shells source, with a backup before every change.")

# Earlier versions made one package, kestrune-envvar-editor, with the files the library,
# dev and kenv packages now hold: each of them takes its files over from it.
foreach(component IN LISTS KENV_COMPONENTS)
  string(TOUPPER ${component} c)
  set(CPACK_DEBIAN_${c}_PACKAGE_NAME ${KENV_PACKAGE_${component}})
  if(NOT component STREQUAL "gui")
    set(CPACK_DEBIAN_${c}_PACKAGE_BREAKS ${PROJECT_NAME})
    set(CPACK_DEBIAN_${c}_PACKAGE_REPLACES ${PROJECT_NAME})
  endif()
endforeach()

set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_DEPENDS "libyyjson0 (>= 0.12)")
# The shlibs file (only the library package has a shared object to name in it) and the
# symbols file let dpkg-shlibdeps give packages built against the library their dependency.
# ldconfig runs through dpkg's trigger; cpack's own postinst and postrm, which would call it
# by hand, are taken out again after the packages are made (cmake/debian/no-ldconfig-scripts.cmake).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "persistent environment variables: shared library
${kenv_common}

This package holds the shared library, whose C interface front ends call.")
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/symbols.in ${PROJECT_BINARY_DIR}/debian/symbols @ONLY)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/symbols
  ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/no-ldconfig-scripts.cmake)

set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${KENV_PACKAGE_library} ${kenv_exact}")
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_DEV_DESCRIPTION "persistent environment variables: development files
${kenv_common}

This package holds the header, the pkg-config file and the CMake package for
building front ends against the library.")

set(CPACK_DEBIAN_KENV_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_KENV_PACKAGE_DEPENDS "${KENV_PACKAGE_library} ${kenv_exact}")
set(CPACK_DEBIAN_KENV_DESCRIPTION "view and edit persistent environment variables
${kenv_common}

This package holds kenv, the command-line front end, with its man page and the
completions for bash, zsh and fish.")
# Where the system scope's store and backups live. The package does not create the folder:
# the first change of the system scope does, with the modes it needs.
set(KENV_STATE_DIR ${KENV_LOCALSTATEDIR}/lib/pellomar)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/postrm.in ${PROJECT_BINARY_DIR}/debian/postrm @ONLY)
file(CHMOD ${PROJECT_BINARY_DIR}/debian/postrm PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_KENV_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/postrm)

set(CPACK_DEBIAN_GUI_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "kenv ${kenv_exact}, ${KENV_PACKAGE_library} ${kenv_exact}")
# The window needs a platform plugin to show; pkexec is how it changes the system scope,
# which it otherwise only shows.
set(CPACK_DEBIAN_GUI_PACKAGE_RECOMMENDS "qt6-qpa-plugins, pkexec")
set(CPACK_DEBIAN_GUI_DESCRIPTION "view and edit persistent environment variables in a window
${kenv_common}

This package holds kenv-gui, the desktop front end (Qt 6), in the desktop's
menu as Environment Variables. A user who is not an administrator changes the
system scope through polkit, which asks for an administrator's password.")

set(CPACK_GENERATOR DEB)
include(CPack)
