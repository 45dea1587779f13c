# The installed tree as others use it: `cmake --install` into a temporary prefix, then a
# small C front end built against it with find_package and with pkg-config. Sanitizer
# builds are not what gets installed (their library leaves the sanitizer runtime to the
# executable, which a plain front end does not bring), so they skip these tests.
# The install tests take turns (kenv_install): each installs from the one build tree, where
# cmake --install writes its manifest.
if(NOT WIN32 AND TARGET kenv AND NOT KENV_SANITIZE)
  add_test(NAME Install.AFrontEndBuildsAgainstTheInstalledTreeBothWays
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/install/check_install.sh ${CMAKE_BINARY_DIR}
            ${PROJECT_SOURCE_DIR} ${CMAKE_INSTALL_LIBDIR})
  set_tests_properties(Install.AFrontEndBuildsAgainstTheInstalledTreeBothWays PROPERTIES LABELS install
    RESOURCE_LOCK kenv_install)
endif()

# kenv-gui's files for the desktop, installed and checked with the desktop's own validators.
if(NOT WIN32 AND TARGET kenv-gui AND NOT KENV_SANITIZE)
  add_test(NAME Install.TheDesktopFilesOfKenvGuiValidate
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/install/check_desktop.sh ${CMAKE_BINARY_DIR}
            ${PROJECT_SOURCE_DIR} ${PROJECT_VERSION} ${CMAKE_INSTALL_PREFIX})
  set_tests_properties(Install.TheDesktopFilesOfKenvGuiValidate PROPERTIES LABELS install RESOURCE_LOCK kenv_install)
endif()

# The Debian packages: built with cpack, checked with lintian, installed with dpkg into a
# throwaway root, kenv and kenv-gui run from it, then removed and purged there.
find_program(KENV_DPKG_DEB dpkg-deb)
if(NOT WIN32 AND TARGET kenv AND TARGET kenv-gui AND NOT KENV_SANITIZE AND KENV_DPKG_DEB)
  add_test(NAME Package.TheFourDebianPackagesInstallRunAndPurgeInAThrowawayRoot
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/install/check_deb.sh ${CMAKE_BINARY_DIR}
            ${KENV_SYSCONFDIR} ${PROJECT_VERSION} ${KENV_LOCALSTATEDIR})
  set_tests_properties(Package.TheFourDebianPackagesInstallRunAndPurgeInAThrowawayRoot PROPERTIES
    LABELS install SKIP_RETURN_CODE 77 TIMEOUT 300 RESOURCE_LOCK kenv_install)
endif()
