# What `cmake --install` puts in place besides kenv (tools/kenv installs kenv, its man page
# and its shell completions): the shared library and its header, a CMake package
# configuration with the imported target kestrune-envvar-editor::kestrune-envvar-editor, a
# pkg-config file, and the licence.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KENV_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})
set(KENV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/${PROJECT_NAME})

install(TARGETS kestrune-envvar-editor EXPORT kestrune-envvar-editor-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT kestrune-envvar-editor-targets NAMESPACE kestrune-envvar-editor::
  DESTINATION ${KENV_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kestrune-envvar-editor-config.cmake.in
  ${PROJECT_BINARY_DIR}/kestrune-envvar-editor-config.cmake INSTALL_DESTINATION ${KENV_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kestrune-envvar-editor-config-version.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kestrune-envvar-editor-config.cmake
  ${PROJECT_BINARY_DIR}/kestrune-envvar-editor-config-version.cmake DESTINATION ${KENV_CMAKE_DIR})

# The pkg-config file names its directories relative to itself, so an installed tree works
# wherever it was installed (`cmake --install --prefix`, DESTDIR, a package).
file(RELATIVE_PATH KENV_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" KENV_PC_TO_PREFIX "${KENV_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/kestrune-envvar-editor.pc.in
  ${PROJECT_BINARY_DIR}/kestrune-envvar-editor.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kestrune-envvar-editor.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The licence, and the same text in the machine-readable form Debian reads from every
# package's doc directory.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE KENV_LICENSE_TEXT)
string(STRIP "${KENV_LICENSE_TEXT}" KENV_LICENSE_TEXT)
string(REPLACE "\n" "\n " KENV_LICENSE_TEXT "${KENV_LICENSE_TEXT}")
string(REPLACE "\n \n" "\n .\n" KENV_LICENSE_TEXT "${KENV_LICENSE_TEXT}")
string(REPLACE "\n \n" "\n .\n" KENV_LICENSE_TEXT "${KENV_LICENSE_TEXT}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)
install(FILES LICENSE README.md ${PROJECT_BINARY_DIR}/copyright DESTINATION ${KENV_DOC_DIR})
