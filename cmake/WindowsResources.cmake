# The Windows build's resources: a resource script generated from the manifest (each line
# TYPE NUMBER FILE becomes a resource of that type and number; ICON lines become the icon
# group), the dialog templates written from the engine's dialog table, and the window icon.
# The script is an interface source of the target, so every program that links it (the intro
# and each test) carries the resources in its own module, where loadResource finds them.

enable_language(RC)
include(${CMAKE_CURRENT_LIST_DIR}/Manifest.cmake)

# The program's icon group; left out while the icon is not there.
set(BRACKENFOLD_ICON ${CMAKE_SOURCE_DIR}/resources/brackenfold.ico CACHE FILEPATH "Icon of the Windows program")
set(BRACKENFOLD_ICON_ID 214)

# The dialog templates come from the same table the Linux dialog is laid out from, printed by a
# small program built for the machine that runs the build.
find_program(BRACKENFOLD_HOST_CXX NAMES g++ c++ REQUIRED NO_CMAKE_FIND_ROOT_PATH)

function(brackenfold_resources target manifest)
  get_filename_component(manifest_abs ${manifest} ABSOLUTE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${manifest_abs})

  brackenfold_read_manifest(${manifest_abs} types numbers files)
  set(deps ${manifest_abs} ${files})
  set(icon "")
  if(EXISTS ${BRACKENFOLD_ICON})
    set(icon ${BRACKENFOLD_ICON})
    list(APPEND deps ${icon})
  else()
    message(STATUS "Windows resources: no ${BRACKENFOLD_ICON}, the program has no icon")
  endif()

  set(dialogrc ${CMAKE_CURRENT_BINARY_DIR}/dialogrc-host)
  set(dialogs ${CMAKE_CURRENT_BINARY_DIR}/${target}_dialogs.rc)
  add_custom_command(
    OUTPUT ${dialogrc}
    COMMAND ${BRACKENFOLD_HOST_CXX} -std=c++20 -O0 -I${CMAKE_SOURCE_DIR}/src
            ${CMAKE_SOURCE_DIR}/tools/assets/dialogrc.cpp ${CMAKE_SOURCE_DIR}/src/Base/DialogResource.cpp -o ${dialogrc}
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/assets/dialogrc.cpp ${CMAKE_SOURCE_DIR}/src/Base/DialogResource.cpp
            ${CMAKE_SOURCE_DIR}/src/Base/DialogResource.h
    COMMENT "Building the dialog template writer for this machine")
  add_custom_command(
    OUTPUT ${dialogs}
    COMMAND ${dialogrc} ${dialogs}
    DEPENDS ${dialogrc}
    COMMENT "Writing the dialog templates")

  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DMANIFEST=${manifest_abs} -DOUT=${out} -DICON=${icon} -DICON_ID=${BRACKENFOLD_ICON_ID}
            -DDIALOGS=${dialogs} -P ${CMAKE_SOURCE_DIR}/cmake/GenerateRc.cmake
    DEPENDS ${deps} ${dialogs} ${CMAKE_SOURCE_DIR}/cmake/GenerateRc.cmake ${CMAKE_SOURCE_DIR}/cmake/Manifest.cmake
    COMMENT "Writing the resource script from ${manifest}")
  add_custom_target(${target}_script DEPENDS ${out})
  add_library(${target} INTERFACE)
  target_sources(${target} INTERFACE ${out})
  add_dependencies(${target} ${target}_script)
endfunction()
