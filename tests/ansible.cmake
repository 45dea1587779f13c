# The Ansible collection's module against the test build's kenv, on the user scope of a
# sandboxed home (local connection). Runs where Ansible is installed
# (scripts/install-deps.sh --fleet).
find_program(KENV_ANSIBLE ansible)
if(KENV_ANSIBLE AND TARGET kenv AND NOT WIN32)
  add_test(NAME Ansible.TheModuleManagesTheUserScope
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/ansible/module_test.sh ${PROJECT_SOURCE_DIR} $<TARGET_FILE:kenv>)
  set_tests_properties(Ansible.TheModuleManagesTheUserScope PROPERTIES
    LABELS ansible RESOURCE_LOCK kenv_sysconf)
endif()
