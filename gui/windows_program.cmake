# packgui.exe: a window program with its icon, version information and manifest,
# and, with a static Qt, the Qt plugins it needs linked in.
enable_language(RC)
configure_file(packgui.rc.in ${CMAKE_CURRENT_BINARY_DIR}/packgui.rc @ONLY)
configure_file(packgui.manifest.in ${CMAKE_CURRENT_BINARY_DIR}/packgui.manifest @ONLY)
set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/packgui.rc APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/VYN.ico ${CMAKE_CURRENT_BINARY_DIR}/packgui.manifest)
target_sources(packgui PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/packgui.rc)
set_target_properties(packgui PROPERTIES WIN32_EXECUTABLE ON)

get_target_property(qt_core_type Qt5::Core TYPE)
if(qt_core_type STREQUAL "STATIC_LIBRARY")
  # An object library: linked into each program directly, so the registrations are kept.
  add_library(packgui_qt_plugins OBJECT static_qt_plugins.cpp)
  target_link_libraries(packgui_qt_plugins PUBLIC Qt5::Widgets
    Qt5::QWindowsIntegrationPlugin Qt5::QOffscreenIntegrationPlugin
    Qt5::QICOPlugin Qt5::QWindowsVistaStylePlugin)
  target_link_libraries(packgui PRIVATE packgui_qt_plugins)
endif()
