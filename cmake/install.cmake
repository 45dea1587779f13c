# What `cmake --install` puts in place besides the programs (tools/kenv and tools/kenv-gui
# install those, their man pages, kenv's shell completions and kenv-gui's desktop files):
# the shared library and its header, a CMake package configuration with the imported target
# kestrune-envvar-editor::kestrune-envvar-editor, a pkg-config file, and the licence.
#
# Every file belongs to one component, which becomes one Debian package (cmake/package.cmake):
# library (the shared library), dev (what building against it needs), kenv and gui.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KENV_PACKAGE_library libkestrune-envvar-editor${PROJECT_VERSION_MAJOR})
set(KENV_PACKAGE_dev libkestrune-envvar-editor-dev)
set(KENV_PACKAGE_kenv kenv)
set(KENV_PACKAGE_gui kenv-gui)
set(KENV_COMPONENTS library dev)
if(TARGET kenv)
  list(APPEND KENV_COMPONENTS kenv)
endif()
if(TARGET kenv-gui AND NOT WIN32)
  list(APPEND KENV_COMPONENTS gui)
endif()
set(KENV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/${PROJECT_NAME})

install(TARGETS kestrune-envvar-editor EXPORT kestrune-envvar-editor-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(EXPORT kestrune-envvar-editor-targets NAMESPACE kestrune-envvar-editor::
  DESTINATION ${KENV_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kestrune-envvar-editor-config.cmake.in
  ${PROJECT_BINARY_DIR}/kestrune-envvar-editor-config.cmake INSTALL_DESTINATION ${KENV_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kestrune-envvar-editor-config-version.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kestrune-envvar-editor-config.cmake
  ${PROJECT_BINARY_DIR}/kestrune-envvar-editor-config-version.cmake DESTINATION ${KENV_CMAKE_DIR}
  COMPONENT dev)

# The pkg-config file names its directories relative to itself, so an installed tree works
# wherever it was installed (`cmake --install --prefix`, DESTDIR, a package).
file(RELATIVE_PATH KENV_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" KENV_PC_TO_PREFIX "${KENV_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/kestrune-envvar-editor.pc.in
  ${PROJECT_BINARY_DIR}/kestrune-envvar-editor.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kestrune-envvar-editor.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# The licence in the machine-readable form Debian reads, and the changelog, in the doc
# directory of each package (share/doc/<package>/), as Debian wants them; the README goes
# with kenv.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE KENV_LICENSE_TEXT)
string(STRIP "${KENV_LICENSE_TEXT}" KENV_LICENSE_TEXT)
string(REPLACE "\n" "\n " KENV_LICENSE_TEXT "${KENV_LICENSE_TEXT}")
string(REPLACE "\n \n" "\n .\n" KENV_LICENSE_TEXT "${KENV_LICENSE_TEXT}")
string(REPLACE "\n \n" "\n .\n" KENV_LICENSE_TEXT "${KENV_LICENSE_TEXT}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)
set(kenv_changelog ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${kenv_changelog}
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/cmake/debian/changelog > ${kenv_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog)
add_custom_target(kenv_changelog ALL DEPENDS ${kenv_changelog})
foreach(component IN LISTS KENV_COMPONENTS)
  install(FILES ${PROJECT_BINARY_DIR}/copyright ${kenv_changelog}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${KENV_PACKAGE_${component}} COMPONENT ${component})
endforeach()
if(TARGET kenv)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${KENV_PACKAGE_kenv} COMPONENT kenv)
endif()
