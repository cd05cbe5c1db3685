# End-to-end tests of talpir-flash info and dump, run against the real program.
add_talpir_test(cli_info_dump_test info_dump_test.cpp LIBS talpir_update talpir_test_support)
target_compile_definitions(cli_info_dump_test PRIVATE
  TALPIR_FLASH="$<TARGET_FILE:talpir-flash>"
  TALPIR_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
add_dependencies(cli_info_dump_test talpir-flash)
