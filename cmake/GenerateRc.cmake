# cmake -DMANIFEST=... -DOUT=... [-DICON=file -DICON_ID=n] -DDIALOGS=file -P GenerateRc.cmake
# Resource script for the Windows build: one line per manifest entry (type names upper case, as
# the resource compiler stores them and the lookup compares them), then the icon group and the
# dialog templates.
# The project's policies: a quoted "ICON" is the word, not the variable ICON below.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Manifest.cmake)
brackenfold_read_manifest(${MANIFEST} types numbers files)

set(body "")
foreach(type number path IN ZIP_LISTS types numbers files)
  if(type STREQUAL "ICON")
    set(ICON "")  # the manifest names the icon itself
  endif()
  if(type STREQUAL "ICONRGBA")
    continue()  # the SDL window's icon; a Windows window takes icon group 214 instead
  endif()
  string(APPEND body "${number} ${type} \"${path}\"\n")
endforeach()

if(ICON)
  string(APPEND body "${ICON_ID} ICON \"${ICON}\"\n")
endif()

file(WRITE ${OUT}.tmp "// Generated from ${MANIFEST}; do not edit.
#include <windows.h>

${body}
#include \"${DIALOGS}\"
")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
