# The cursor pictures: the build tool mkcursors turns the text pictures of
# gui/cursors/ into a source file of the gui library (cursor resources).
add_executable(vx_mkcursors ${PROJECT_SOURCE_DIR}/gui/build_tool/mkcursors.cpp)
file(GLOB _cursor_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/gui/cursors/*.txt)
set(_cursor_data ${CMAKE_CURRENT_BINARY_DIR}/gui/cursordata.cpp)
add_custom_command(OUTPUT ${_cursor_data}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/gui
  COMMAND vx_mkcursors ${PROJECT_SOURCE_DIR}/gui/cursors ${_cursor_data}
  DEPENDS vx_mkcursors ${_cursor_files}
  COMMENT "Cursor resources from gui/cursors"
  VERBATIM)
target_sources(gui PRIVATE ${_cursor_data})
