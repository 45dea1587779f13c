# How the front ends install their programs and man pages.
include(GNUInstallDirs)

# kenv_install_program(TARGET DESTINATION COMPONENT): installs the program so that it finds
# the library relative to itself, wherever the tree was installed.
function(kenv_install_program target destination component)
  file(RELATIVE_PATH to_lib /prefix/${destination} /prefix/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${to_lib}")
  install(TARGETS ${target} RUNTIME DESTINATION ${destination} COMPONENT ${component})
endfunction()

# kenv_man_page(NAME COMPONENT): configures NAME.1.in of the current source folder and
# installs it in section 1, compressed as Debian keeps man pages (-n: no name or time, so
# builds repeat).
function(kenv_man_page name component)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${name}.1)
  configure_file(${name}.1.in ${page} @ONLY)
  add_custom_command(OUTPUT ${page}.gz COMMAND gzip -9nc ${page} > ${page}.gz DEPENDS ${page})
  add_custom_target(${name}_man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()
