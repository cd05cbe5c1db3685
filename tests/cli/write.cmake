# talpir-flash write and ports, and the Qt serial port, run against the simulated device.
add_talpir_test(cli_progress_test progress_test.cpp ${PROJECT_SOURCE_DIR}/src/cli/progress.cpp)
target_include_directories(cli_progress_test PRIVATE ${PROJECT_SOURCE_DIR}/src)

add_talpir_test(cli_write_test write_test.cpp LIBS talpir_test_support)
target_compile_definitions(cli_write_test PRIVATE
  TALPIR_FLASH="$<TARGET_FILE:talpir-flash>"
  TALPIR_DEVSIM="$<TARGET_FILE:talpir-devsim>"
  TALPIR_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
add_dependencies(cli_write_test talpir-flash talpir-devsim)

add_talpir_test(qt_serial_port_test qt_serial_port_test.cpp
  LIBS talpir_qtport talpir_test_support Qt6::Core)
target_compile_definitions(qt_serial_port_test PRIVATE
  TALPIR_DEVSIM="$<TARGET_FILE:talpir-devsim>")
add_dependencies(qt_serial_port_test talpir-devsim)
