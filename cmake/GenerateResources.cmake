# cmake -DMANIFEST=... -DOUT=... -P GenerateResources.cmake
get_filename_component(dir ${MANIFEST} DIRECTORY)
file(STRINGS ${MANIFEST} lines)

set(arrays "")
set(entries "")
set(index 0)
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
  string(TOUPPER "${type}" type)
  file(SIZE ${dir}/${file} size)
  file(READ ${dir}/${file} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
  # One trailing zero keeps empty files legal C++ and is never counted in the size.
  string(APPEND arrays "alignas(16) const unsigned char kData${index}[] = {\n${bytes}0};\n")
  string(APPEND entries "  {\"${type}\", ${number}, kData${index}, ${size}u},\n")
  math(EXPR index "${index} + 1")
endforeach()

file(WRITE ${OUT}.tmp "// Generated from ${MANIFEST}; do not edit.
#include \"Base/ResourceTable.h\"

namespace {
${arrays}}  // namespace

const ResourceEntry kResourceTable[] = {
${entries}  {nullptr, 0, nullptr, 0u},
};
const unsigned kResourceCount = ${index};
")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
