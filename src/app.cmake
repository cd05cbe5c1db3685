# The window, talpir-programmer: the window code in a library that the window tests link too.
if(WIN32)
  set(window_platform port_names_win.cpp)
else()
  set(window_platform port_names_posix.cpp)
endif()
add_library(talpir_window STATIC
  ${window_platform}
  UnitFrUpdateOvr.cpp
  window_host.cpp
  window_controls.cpp
  cgauge.cpp
  exchange_u.cpp)
target_include_directories(talpir_window PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(talpir_window PUBLIC
  talpir_link talpir_qtport talpir_settings Qt6::Widgets Qt6::SerialPort)

qt_add_executable(talpir-programmer main.cpp)
set_target_properties(talpir-programmer PROPERTIES WIN32_EXECUTABLE ON MACOSX_BUNDLE OFF)
target_link_libraries(talpir-programmer PRIVATE talpir_window)
