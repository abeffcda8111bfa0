# cmake -DMANIFEST=... -DOUT=... [-DICON=file -DICON_ID=n] -DDIALOGS=file -P GenerateRc.cmake
# Resource script for the Windows build: one line per manifest entry (type names upper case, as
# the resource compiler stores them and the lookup compares them), then the icon group and the
# dialog templates.
get_filename_component(dir ${MANIFEST} DIRECTORY)
file(STRINGS ${MANIFEST} lines)

set(body "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "#.*" "" line "${line}")
  string(STRIP "${line}" line)
  if(line STREQUAL "")
    continue()
  endif()
  separate_arguments(fields UNIX_COMMAND "${line}")
  list(LENGTH fields n)
  if(NOT n EQUAL 3)
    message(FATAL_ERROR "${MANIFEST}: expected TYPE NUMBER FILE, got: ${line}")
  endif()
  list(GET fields 0 type)
  list(GET fields 1 number)
  list(GET fields 2 file)
  if(NOT number MATCHES "^[0-9]+$" OR number GREATER 65535)
    message(FATAL_ERROR "${MANIFEST}: resource number must be 0..65535: ${line}")
  endif()
  if(NOT type MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
    message(FATAL_ERROR "${MANIFEST}: resource type must be a plain name: ${line}")
  endif()
  string(TOUPPER "${type}" type)
  if(type STREQUAL "ICON")
    set(ICON "")  # the manifest names the icon itself
  endif()
  get_filename_component(path ${dir}/${file} ABSOLUTE)
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
