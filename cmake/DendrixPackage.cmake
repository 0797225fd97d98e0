# Install rules and the CMake package of dendrix.
#
# A library that belongs to the package calls dendrix_package_library (the
# host) or dendrix_package_plugin (each plug-in); the tool calls
# dendrix_package_tool; dendrix_install_package, called once at the end, writes
# the export set, the package files and the pkg-config file. The public
# headers are the list below; every other header stays in the source tree.

# Relative to the source root; installed under include/dendrix/ keeping the
# folders, except the embedding header, which goes to include/dendrix/ itself.
set(DENDRIX_EMBED_HEADER embed/dendrix.h)
set(DENDRIX_PUBLIC_HEADERS
  host/Codes.h
  host/DecisionPath.h
  host/HostExport.h
  host/PluginExport.h
  host/ResultAdvice.h
  host/ScoreCaseRecord.h
  host/ScoreDictionary.h
  host/ScoreModel.h
  host/ScoreResult.h
  host/ScoreValue.h
  host/VeltraException.h
  host/VorqScore.h
  # For plug-ins and programs that read documents themselves (these name
  # Xerces-C types).
  host/BaseDictionary.h
  host/ScoreSplitVar.h
  host/ScoreTranslator.h
  host/TransformationDictionary.h
  host/TreeNode.h
  host/XmlDocument.h)

set(DENDRIX_SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
set(DENDRIX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/dendrix)

# Attaches the public headers to target (the host library).
function(dendrix_public_headers target)
  target_sources(${target} PUBLIC
    FILE_SET HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR} FILES ${DENDRIX_PUBLIC_HEADERS}
    FILE_SET embed TYPE HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR}/embed
             FILES ${PROJECT_SOURCE_DIR}/${DENDRIX_EMBED_HEADER})
endfunction()

# A versioned shared library of the package, known as dendrix::<name> both to
# a parent project and to users of the installed package.
function(dendrix_package_library target name)
  set_target_properties(${target} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${DENDRIX_SOVERSION} EXPORT_NAME ${name})
  add_library(dendrix::${name} ALIAS ${target})
  if(NOT DENDRIX_INSTALL)
    return()
  endif()
  set(file_sets)
  get_target_property(header_sets ${target} INTERFACE_HEADER_SETS)
  foreach(set IN LISTS header_sets)
    list(APPEND file_sets FILE_SET ${set} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dendrix)
  endforeach()
  install(TARGETS ${target} EXPORT dendrixTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} ${CMAKE_INSTALL_INCLUDEDIR}/dendrix
    ${file_sets})
endfunction()

# A plug-in library: everything but its entry point GiveMyTranslator is
# hidden, nothing is left undefined, and it is installed beside the host
# library, where the tool looks for it.
function(dendrix_package_plugin target name)
  set(map ${PROJECT_SOURCE_DIR}/cmake/plugin.map)
  target_link_options(${target} PRIVATE -Wl,--no-undefined -Wl,--version-script=${map})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
  dendrix_package_library(${target} ${name})
endfunction()

# An installed program that finds the libraries and plug-ins in the library
# folder.
function(dendrix_package_tool target)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${DENDRIX_LIB_FROM_BIN}")
  if(DENDRIX_INSTALL)
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endfunction()

function(dendrix_install_package)
  include(CMakePackageConfigHelpers)
  install(EXPORT dendrixTargets NAMESPACE dendrix:: DESTINATION ${DENDRIX_CMAKE_DIR})
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/dendrixConfig.cmake.in
    ${PROJECT_BINARY_DIR}/dendrixConfig.cmake INSTALL_DESTINATION ${DENDRIX_CMAKE_DIR})
  # 0.x releases do not promise compatibility between minor versions.
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/dendrixConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/dendrixConfig.cmake
                ${PROJECT_BINARY_DIR}/dendrixConfigVersion.cmake
          DESTINATION ${DENDRIX_CMAKE_DIR})
  # The pkg-config file finds the prefix from its own place, so that
  # cmake --install --prefix can put the package anywhere.
  file(RELATIVE_PATH DENDRIX_PREFIX_FROM_PKGCONFIG ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
       ${CMAKE_INSTALL_PREFIX})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/dendrix.pc.in ${PROJECT_BINARY_DIR}/dendrix.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/dendrix.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
