# The yyjson stand-in (cmake/yyjson-standin), which the Windows builds under wine use, against
# yyjson itself: a small program reads and writes documents with the stand-in, and the test
# compares what it writes with what yyjson writes of the same documents.
add_executable(yyjson_standin_echo yyjson_standin_echo.c ${PROJECT_SOURCE_DIR}/cmake/yyjson-standin/yyjson.c)
target_include_directories(yyjson_standin_echo BEFORE PRIVATE ${PROJECT_SOURCE_DIR}/cmake/yyjson-standin)
kenv_add_test(yyjson_standin_test yyjson_standin_test.cpp LIBS yyjson::yyjson)
target_compile_definitions(yyjson_standin_test PRIVATE KENV_STANDIN_ECHO="$<TARGET_FILE:yyjson_standin_echo>")
add_dependencies(yyjson_standin_test yyjson_standin_echo)
