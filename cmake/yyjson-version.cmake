# The project needs yyjson 0.12 or later, and the Debian package ships no version file that
# find_package could check, so the version is read from the header that the found
# yyjson::yyjson target compiles with: YYJSON_VERSION_HEX. The project's own
# stand-in (cmake/yyjson-standin) has no version; it says KENV_YYJSON_STANDIN instead and is
# accepted only when the build asks for it with KENV_ALLOW_YYJSON_STANDIN.
option(KENV_ALLOW_YYJSON_STANDIN "Accept the project's yyjson stand-in (a small reader and writer for builds to test, never to ship)" OFF)

function(kenv_require_yyjson minimum_hex)
  get_target_property(dirs yyjson::yyjson INTERFACE_INCLUDE_DIRECTORIES)
  set(header "")
  foreach(dir IN LISTS dirs)
    if(NOT header AND EXISTS "${dir}/yyjson.h")
      set(header "${dir}/yyjson.h")
    endif()
  endforeach()
  if(NOT header)
    message(FATAL_ERROR "yyjson was found (${yyjson_DIR}), but not its yyjson.h in '${dirs}'")
  endif()
  file(STRINGS "${header}" defines REGEX "^#define[ \t]+(YYJSON_VERSION_HEX|KENV_YYJSON_STANDIN)[ \t]")
  if(defines MATCHES "KENV_YYJSON_STANDIN")
    if(NOT KENV_ALLOW_YYJSON_STANDIN)
      message(FATAL_ERROR "${header} is the project's yyjson stand-in, for builds to test and never to "
        "ship; point CMAKE_PREFIX_PATH at a real yyjson, or configure with "
        "-DKENV_ALLOW_YYJSON_STANDIN=ON for a build to test")
    endif()
    message(WARNING "linking against the yyjson stand-in (${header}): a build to test; it has "
      "neither yyjson's speed nor its checks and must not be shipped")
    set(KENV_YYJSON_IS_STANDIN ON PARENT_SCOPE)
    return()
  endif()
  if(NOT defines MATCHES "YYJSON_VERSION_HEX[ \t]+(0[xX][0-9a-fA-F]+)")
    message(FATAL_ERROR "${header} states no YYJSON_VERSION_HEX; yyjson 0.12 or later is required")
  endif()
  math(EXPR found "${CMAKE_MATCH_1}" OUTPUT_FORMAT DECIMAL)
  math(EXPR needed "${minimum_hex}" OUTPUT_FORMAT DECIMAL)
  math(EXPR major "${found} >> 16")
  math(EXPR minor "(${found} >> 8) & 255")
  math(EXPR patch "${found} & 255")
  if(found LESS needed)
    message(FATAL_ERROR "yyjson ${major}.${minor}.${patch} found (${header}); 0.12 or later is required")
  endif()
  message(STATUS "yyjson ${major}.${minor}.${patch}: ${header}")
endfunction()
