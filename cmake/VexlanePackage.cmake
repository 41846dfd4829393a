# The libraries as a package: how each library is made, how it names its
# external dependencies, and what `cmake --install` puts under the prefix (the
# headers under include/vexlane/<library>/, the archives, the CMake package
# Vexlane and vexlane.pc). Everything here follows the list of libraries, so a
# new library of scripts/layers.txt is packaged without changes here.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VX_PACKAGE_DIR ${CMAKE_CURRENT_LIST_DIR})

# A library of the stack from its sources. Its register.cpp (the static
# initializer that fills the module's start-up slots) is compiled together with
# a symbol, VXModuleAnchor_<name>, that every program linking the library asks
# the linker for: the target carries the request, and so do the installed
# package and vexlane.pc, so that archive member is never left out.
function(vx_add_library name)
  set(_src ${ARGN})
  set(_register ${PROJECT_SOURCE_DIR}/${name}/register.cpp)
  list(REMOVE_ITEM _src ${_register})
  if(EXISTS ${_register})
    set(_startup ${PROJECT_BINARY_DIR}/startup/${name}_register.cpp)
    file(CONFIGURE OUTPUT ${_startup} @ONLY CONTENT
"// Made by the build: the ${name} module's start-up object and the symbol by
// which every link of the library takes it in.
#include \"${name}/register.cpp\"

extern \"C\" {
extern const char VXModuleAnchor_${name};
const char VXModuleAnchor_${name} = 1;
}
")
    list(APPEND _src ${_startup})
  endif()
  add_library(${name} STATIC ${_src})
  # The standard headers nearly every source includes, parsed once per
  # library instead of once per source (about a third of the libraries'
  # compile time).
  target_precompile_headers(${name} PRIVATE <algorithm> <cmath> <cstdint> <cstring> <functional> <map> <memory>
                            <mutex> <string> <vector>)
  add_library(Vexlane::${name} ALIAS ${name})
  set_target_properties(${name} PROPERTIES OUTPUT_NAME vexlane_${name} EXPORT_NAME ${name})
  target_compile_features(${name} PUBLIC cxx_std_20)
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  if(EXISTS ${_register})
    target_link_options(${name} INTERFACE "LINKER:--undefined=VXModuleAnchor_${name}")
    # A library packaged on its own (VX_SEPARATE_LIBS) keeps its start-up out
    # of the whole library's.
    if(NOT name IN_LIST VX_SEPARATE_LIBS)
      set_property(GLOBAL APPEND PROPERTY VX_MODULE_ANCHORS VXModuleAnchor_${name})
    endif()
  endif()
endfunction()

# The imported target of a pkg-config module, PkgConfig::VXDEP_<id>.
function(vx_pkg_target module outvar)
  string(MAKE_C_IDENTIFIER "${module}" _id)
  if(NOT TARGET PkgConfig::VXDEP_${_id})
    pkg_check_modules(VXDEP_${_id} REQUIRED IMPORTED_TARGET GLOBAL ${module})
  endif()
  set(${outvar} PkgConfig::VXDEP_${_id} PARENT_SCOPE)
endfunction()

# vx_external_dependencies(<library> <pkg-config module>...): the Debian
# libraries that <library> links (and whose headers its headers may include).
# The package config finds them again and vexlane.pc requires them.
function(vx_external_dependencies lib)
  if(NOT TARGET ${lib})
    return()
  endif()
  foreach(module IN LISTS ARGN)
    vx_pkg_target(${module} _target)
    target_link_libraries(${lib} PUBLIC ${_target})
    if(lib IN_LIST VX_SEPARATE_LIBS)
      set_property(GLOBAL APPEND PROPERTY VX_EXTERNAL_MODULES_${lib} ${module})
    else()
      set_property(GLOBAL APPEND PROPERTY VX_EXTERNAL_MODULES ${module})
    endif()
  endforeach()
endfunction()

# The same for a Debian library that has no pkg-config module: found by its
# name, linked, and named to pkg-config consumers with -l<name>.
#   vx_external_libraries(<library> <library name>...)
function(vx_external_libraries lib)
  if(NOT TARGET ${lib})
    return()
  endif()
  foreach(name IN LISTS ARGN)
    string(MAKE_C_IDENTIFIER "${name}" _id)
    find_library(VX_EXTLIB_${_id} ${name} REQUIRED)
    target_link_libraries(${lib} PUBLIC ${VX_EXTLIB_${_id}})
    set_property(GLOBAL APPEND PROPERTY VX_EXTERNAL_LIBRARIES ${name})
  endforeach()
endfunction()

# The whole library as one target, vexlane (Vexlane::vexlane), its header
# vexlane/vexlane.h, and the install rules.
function(vx_library_package)
  set(_libs ${ARGN})
  get_property(_anchors GLOBAL PROPERTY VX_MODULE_ANCHORS)
  get_property(_modules GLOBAL PROPERTY VX_EXTERNAL_MODULES)
  if(_modules)
    list(REMOVE_DUPLICATES _modules)
  endif()

  # vexlane/vexlane.h: the start-up of the whole library, which names every
  # module's start-up object, so that it also works for a program that names
  # the archives by hand.
  set(_include ${PROJECT_BINARY_DIR}/include)
  set(VX_ANCHOR_DECLS "")
  set(VX_ANCHOR_REFS "")
  foreach(a IN LISTS _anchors)
    string(APPEND VX_ANCHOR_DECLS "extern const char ${a};\n")
    string(APPEND VX_ANCHOR_REFS "&${a}, ")
  endforeach()
  configure_file(${VX_PACKAGE_DIR}/vexlane.h.in ${_include}/vexlane/vexlane.h @ONLY)
  # In the build tree, vexlane/<library>/ names the source folders, so that a
  # parent project includes the headers as an installed one does.
  foreach(lib IN LISTS _libs)
    if(NOT EXISTS ${_include}/vexlane/${lib})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${lib} ${_include}/vexlane/${lib} SYMBOLIC)
    endif()
  endforeach()

  add_library(vexlane INTERFACE)
  add_library(Vexlane::vexlane ALIAS vexlane)
  target_link_libraries(vexlane INTERFACE ${_libs})
  target_include_directories(vexlane INTERFACE
    $<BUILD_INTERFACE:${_include}> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

  if(NOT VX_INSTALL)
    return()
  endif()

  # Headers: each library's folder under include/vexlane/, with the includes
  # between them written as vexlane/<library>/... so that only include/ needs
  # to be on the consumer's path.
  install(CODE "
    set(VX_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")
    set(VX_STAGE_DIR \"${PROJECT_BINARY_DIR}/install-headers\")
    set(VX_LIBS \"${_libs}\")
    set(VX_UMBRELLA \"${_include}/vexlane/vexlane.h\")
    set(VX_INCLUDE_DEST \"${CMAKE_INSTALL_INCLUDEDIR}\")
    include(\"${VX_PACKAGE_DIR}/InstallHeaders.cmake\")")

  install(TARGETS ${_libs} vexlane EXPORT VexlaneTargets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
          INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  set(_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/Vexlane)
  install(EXPORT VexlaneTargets NAMESPACE Vexlane:: DESTINATION ${_cmakedir})

  set(VX_PC_MODULES "${_modules}")
  configure_file(${VX_PACKAGE_DIR}/VexlaneConfig.cmake.in ${PROJECT_BINARY_DIR}/package/VexlaneConfig.cmake @ONLY)
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/VexlaneConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/package/VexlaneConfig.cmake
                ${PROJECT_BINARY_DIR}/package/VexlaneConfigVersion.cmake
          DESTINATION ${_cmakedir})

  # vexlane.pc: the archives highest layer first, each module's start-up
  # symbol asked for, the external modules required.
  set(VX_PC_LIBS "")
  foreach(a IN LISTS _anchors)
    string(APPEND VX_PC_LIBS "-Wl,--undefined=${a} ")
  endforeach()
  set(_reversed ${_libs})
  list(REVERSE _reversed)
  foreach(lib IN LISTS _reversed)
    string(APPEND VX_PC_LIBS "-lvexlane_${lib} ")
  endforeach()
  string(APPEND VX_PC_LIBS "-pthread")
  foreach(l IN LISTS CMAKE_DL_LIBS)
    string(APPEND VX_PC_LIBS " -l${l}")
  endforeach()
  get_property(_extlibs GLOBAL PROPERTY VX_EXTERNAL_LIBRARIES)
  if(_extlibs)
    list(REMOVE_DUPLICATES _extlibs)
  endif()
  foreach(l IN LISTS _extlibs)
    string(APPEND VX_PC_LIBS " -l${l}")
  endforeach()
  string(REPLACE ";" " " VX_PC_REQUIRES "${_modules}")
  file(RELATIVE_PATH VX_PC_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  configure_file(${VX_PACKAGE_DIR}/vexlane.pc.in ${PROJECT_BINARY_DIR}/package/vexlane.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/package/vexlane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()

# A library packaged on its own beside the whole library (VX_SEPARATE_LIBS):
# its headers under include/vexlane/<lib>/, its archive, the CMake target
# Vexlane::<lib> (found through find_package(Vexlane) when installed) and
# vexlane-<lib>.pc, which requires vexlane.pc and adds the library and its
# external modules.
function(vx_separate_package lib)
  if(NOT TARGET ${lib})
    return()
  endif()
  set(_include ${PROJECT_BINARY_DIR}/include)
  if(NOT EXISTS ${_include}/vexlane/${lib})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${lib} ${_include}/vexlane/${lib} SYMBOLIC)
  endif()
  target_include_directories(${lib} PUBLIC $<BUILD_INTERFACE:${_include}>)
  if(NOT VX_INSTALL)
    return()
  endif()
  get_property(_modules GLOBAL PROPERTY VX_EXTERNAL_MODULES_${lib})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${lib}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vexlane/${lib}
          FILES_MATCHING PATTERN "*.h")
  install(TARGETS ${lib} EXPORT Vexlane_${lib}Targets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
          INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  set(_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/Vexlane)
  install(EXPORT Vexlane_${lib}Targets NAMESPACE Vexlane:: DESTINATION ${_cmakedir})
  string(REPLACE ";" " " _requires "vexlane;${_modules}")
  file(RELATIVE_PATH _prefix "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  file(WRITE ${PROJECT_BINARY_DIR}/package/vexlane-${lib}.pc
"prefix=\${pcfiledir}/${_prefix}
includedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}
libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}

Name: Vexlane ${lib}
Description: The Vexlane image library's ${lib} part, packaged on its own
Version: ${PROJECT_VERSION}
Requires: ${_requires}
Cflags: -I\${includedir}
Libs: -L\${libdir} -Wl,--undefined=VXModuleAnchor_${lib} -lvexlane_${lib}
")
  install(FILES ${PROJECT_BINARY_DIR}/package/vexlane-${lib}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
