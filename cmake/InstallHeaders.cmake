# Run by `cmake --install`: copies each library's headers, and vexlane.h, to
# include/vexlane/, with `#include "<library>/..."` between them written as
# `#include "vexlane/<library>/..."`.
string(REPLACE ";" "|" _alternatives "${VX_LIBS}")
file(REMOVE_RECURSE "${VX_STAGE_DIR}")
set(_headers "${VX_UMBRELLA}")
foreach(lib IN LISTS VX_LIBS)
  file(GLOB _h "${VX_SOURCE_DIR}/${lib}/*.h")
  list(APPEND _headers ${_h})
endforeach()
foreach(h IN LISTS _headers)
  get_filename_component(_dir "${h}" DIRECTORY)
  get_filename_component(_name "${h}" NAME)
  get_filename_component(_lib "${_dir}" NAME)
  file(READ "${h}" _text)
  # A header without "#pragma once" is a fragment that a source of the library
  # includes on purpose more than once, not an interface: it stays behind.
  if(NOT _text MATCHES "#pragma once")
    continue()
  endif()
  string(REGEX REPLACE "#include \"(${_alternatives})/" "#include \"vexlane/\\1/" _text "${_text}")
  file(WRITE "${VX_STAGE_DIR}/${_lib}/${_name}" "${_text}")
endforeach()
foreach(lib IN LISTS VX_LIBS)
  if(EXISTS "${VX_STAGE_DIR}/${lib}")
    file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${VX_INCLUDE_DEST}/vexlane" TYPE DIRECTORY
         FILES "${VX_STAGE_DIR}/${lib}")
  endif()
endforeach()
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${VX_INCLUDE_DEST}/vexlane" TYPE FILE
     FILES "${VX_STAGE_DIR}/vexlane/vexlane.h")
