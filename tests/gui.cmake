# kenv-gui: its widgets driven by QtTest on the offscreen platform in a throw-away home, and
# the screenshot check, which runs the window on an X server in memory (xvfb-run), saves a
# PNG of every page of both scope tabs into the build tree and checks what they show.
if(TARGET kenv_gui_core)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_library(kenv_gui_sandbox STATIC gui_sandbox.cpp)
  target_link_libraries(kenv_gui_sandbox PUBLIC Qt6::Core)
  target_compile_definitions(kenv_gui_sandbox PUBLIC KENV_SYSCONFDIR="${KENV_SYSCONFDIR}"
    KENV_LOCALSTATEDIR="${KENV_LOCALSTATEDIR}" KENV_VENDOR_ROOT="${KENV_VENDOR_ROOT}")
  target_include_directories(kenv_gui_sandbox PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})

  add_executable(kenv_gui_test gui_test.cpp)
  target_link_libraries(kenv_gui_test PRIVATE kenv_gui_core kenv_gui_sandbox Qt6::Test)
  set_target_properties(kenv_gui_test PROPERTIES AUTOMOC ON)
  target_compile_definitions(kenv_gui_test PRIVATE KENV_BIN="$<TARGET_FILE:kenv>")
  add_dependencies(kenv_gui_test kenv)
  add_test(NAME Gui.widgets COMMAND kenv_gui_test)
  set_tests_properties(Gui.widgets PROPERTIES LABELS gui RESOURCE_LOCK kenv_sysconf TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

  # The system scope changed through kenv-system-helper, with a stand-in for pkexec.
  add_executable(kenv_gui_system_edit_test gui_system_edit_test.cpp)
  target_link_libraries(kenv_gui_system_edit_test PRIVATE kenv_gui_core kenv_gui_sandbox Qt6::Test)
  set_target_properties(kenv_gui_system_edit_test PROPERTIES AUTOMOC ON)
  target_compile_definitions(kenv_gui_system_edit_test PRIVATE KENV_HELPER="$<TARGET_FILE:kenv-system-helper>")
  add_dependencies(kenv_gui_system_edit_test kenv-system-helper)
  add_test(NAME Gui.systemEdit COMMAND kenv_gui_system_edit_test)
  set_tests_properties(Gui.systemEdit PROPERTIES LABELS gui RESOURCE_LOCK kenv_sysconf TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

  add_executable(kenv_gui_screens_test gui_screens_test.cpp)
  target_link_libraries(kenv_gui_screens_test PRIVATE kenv_gui_core kenv_gui_sandbox Qt6::Test)
  set_target_properties(kenv_gui_screens_test PROPERTIES AUTOMOC ON)
  set(kenv_screens ${CMAKE_BINARY_DIR}/screenshots)
  target_compile_definitions(kenv_gui_screens_test PRIVATE KENV_SCREENSHOT_DIR="${kenv_screens}")
  find_program(KENV_XVFB_RUN xvfb-run REQUIRED)
  add_test(NAME Gui.screenshots COMMAND ${KENV_XVFB_RUN} -a -s "-screen 0 1280x900x24"
    $<TARGET_FILE:kenv_gui_screens_test>)
  set_tests_properties(Gui.screenshots PROPERTIES LABELS gui RESOURCE_LOCK kenv_sysconf TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=xcb")
endif()
