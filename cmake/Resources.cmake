# Turns a resource manifest into a static library holding a generated table of read-only
# byte arrays, looked up by loadResource. Manifest lines: TYPE NUMBER FILE (relative to the
# manifest's folder); '#' starts a comment.

function(brackenfold_resources target manifest)
  get_filename_component(manifest_abs ${manifest} ABSOLUTE)
  get_filename_component(manifest_dir ${manifest_abs} DIRECTORY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${manifest_abs})

  file(STRINGS ${manifest_abs} lines)
  set(deps ${manifest_abs})
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "#.*" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    endif()
    separate_arguments(fields UNIX_COMMAND "${line}")
    list(GET fields 2 file)
    list(APPEND deps ${manifest_dir}/${file})
  endforeach()

  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_table.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DMANIFEST=${manifest_abs} -DOUT=${out}
            -P ${CMAKE_SOURCE_DIR}/cmake/GenerateResources.cmake
    DEPENDS ${deps} ${CMAKE_SOURCE_DIR}/cmake/GenerateResources.cmake
    COMMENT "Embedding resources from ${manifest}")
  add_library(${target} STATIC ${out})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
endfunction()
