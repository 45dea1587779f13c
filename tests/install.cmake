# The installed tree as others use it: `cmake --install` into a temporary prefix, then a
# small C front end built against it with find_package and with pkg-config. Sanitizer
# builds are not what gets installed (their library leaves the sanitizer runtime to the
# executable, which a plain front end does not bring), so they skip these tests.
if(NOT WIN32 AND TARGET kenv AND NOT KENV_SANITIZE)
  add_test(NAME Install.AFrontEndBuildsAgainstTheInstalledTreeBothWays
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/install/check_install.sh ${CMAKE_BINARY_DIR}
            ${PROJECT_SOURCE_DIR} ${CMAKE_INSTALL_LIBDIR})
  set_tests_properties(Install.AFrontEndBuildsAgainstTheInstalledTreeBothWays PROPERTIES LABELS install)
endif()

# The Debian package: built with cpack, extracted into a throwaway root, kenv run from it,
# and its postrm script run against that root.
find_program(KENV_DPKG_DEB dpkg-deb)
if(NOT WIN32 AND TARGET kenv AND NOT KENV_SANITIZE AND KENV_DPKG_DEB)
  add_test(NAME Package.TheDebianPackageInstallsRunsAndPurgesItsOwnFiles
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/install/check_deb.sh ${CMAKE_BINARY_DIR}
            ${KENV_SYSCONFDIR} ${PROJECT_VERSION} ${KENV_LOCALSTATEDIR})
  set_tests_properties(Package.TheDebianPackageInstallsRunsAndPurgesItsOwnFiles PROPERTIES LABELS install)
endif()
