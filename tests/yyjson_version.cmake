# The configure-time yyjson check against packages it must refuse or accept: an old yyjson,
# the project's stand-in with and without the link-check switch, and a yyjson newer than
# 0.12. Each package is a prefix made here with a config file and a header; the check runs
# in a small project of its own, as find_package meets them in the real one.
function(kenv_fake_yyjson name include_dir)
  set(prefix ${CMAKE_CURRENT_BINARY_DIR}/yyjson-${name})
  file(WRITE ${prefix}/lib/cmake/yyjson/yyjson-config.cmake
    "add_library(yyjson::yyjson INTERFACE IMPORTED)\n"
    "set_target_properties(yyjson::yyjson PROPERTIES INTERFACE_INCLUDE_DIRECTORIES \"${include_dir}\")\n")
  set(KENV_FAKE_PREFIX ${prefix} PARENT_SCOPE)
endfunction()

function(kenv_yyjson_version_test name include_dir expect)
  kenv_fake_yyjson(${name} ${include_dir})
  add_test(NAME YyjsonVersion.${name}
    COMMAND ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_SOURCE_DIR}/yyjson_version
      -B ${CMAKE_CURRENT_BINARY_DIR}/yyjson-version-${name} -DKENV_ROOT=${PROJECT_SOURCE_DIR}
      -DCMAKE_PREFIX_PATH=${KENV_FAKE_PREFIX} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF ${ARGN})
  set_tests_properties(YyjsonVersion.${name} PROPERTIES LABELS unit PASS_REGULAR_EXPRESSION "${expect}")
endfunction()

foreach(version 0x000B03 0x000C00 0x010000)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/yyjson-header-${version}/yyjson.h
    "#define YYJSON_VERSION_HEX ${version}\n")
endforeach()
kenv_yyjson_version_test(Old ${CMAKE_CURRENT_BINARY_DIR}/yyjson-header-0x000B03
  "yyjson[ \n]+0\\.11\\.3[ \n]+found")
kenv_yyjson_version_test(Current ${CMAKE_CURRENT_BINARY_DIR}/yyjson-header-0x000C00 "-- yyjson 0\\.12\\.0: ")
kenv_yyjson_version_test(Newer ${CMAKE_CURRENT_BINARY_DIR}/yyjson-header-0x010000 "-- yyjson 1\\.0\\.0: ")
kenv_yyjson_version_test(StandIn ${PROJECT_SOURCE_DIR}/cmake/yyjson-standin
  "project's[ \n]+yyjson[ \n]+stand-in")
kenv_yyjson_version_test(StandInForTheLinkCheck ${PROJECT_SOURCE_DIR}/cmake/yyjson-standin
  "linking against the yyjson stand-in.*Configuring done" -DKENV_ALLOW_YYJSON_STANDIN=ON)
