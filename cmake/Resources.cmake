# Turns a resource manifest into a static library holding a generated table of read-only
# byte arrays, looked up by loadResource. Manifest lines: TYPE NUMBER FILE (relative to the
# manifest's folder); '#' starts a comment.

include(${CMAKE_CURRENT_LIST_DIR}/Manifest.cmake)

function(brackenfold_resources target manifest)
  get_filename_component(manifest_abs ${manifest} ABSOLUTE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${manifest_abs})

  brackenfold_read_manifest(${manifest_abs} types numbers files)
  set(deps ${manifest_abs} ${files})

  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_table.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DMANIFEST=${manifest_abs} -DOUT=${out}
            -P ${CMAKE_SOURCE_DIR}/cmake/GenerateResources.cmake
    DEPENDS ${deps} ${CMAKE_SOURCE_DIR}/cmake/GenerateResources.cmake ${CMAKE_SOURCE_DIR}/cmake/Manifest.cmake
    COMMENT "Embedding resources from ${manifest}")
  add_library(${target} STATIC ${out})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
endfunction()
