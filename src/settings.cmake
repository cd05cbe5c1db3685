# Settings file rules (no Qt): the INI editor, the five values, and the platform's file handling.
if(WIN32)
  set(TALPIR_SETTINGS_PLATFORM settings_path_win.cpp)
else()
  set(TALPIR_SETTINGS_PLATFORM settings_path_posix.cpp)
endif()
add_library(talpir_settings STATIC settings_file.cpp settings_ini.cpp ${TALPIR_SETTINGS_PLATFORM})
target_include_directories(talpir_settings PUBLIC ${PROJECT_SOURCE_DIR}/src)
