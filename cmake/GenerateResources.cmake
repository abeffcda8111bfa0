# cmake -DMANIFEST=... -DOUT=... -P GenerateResources.cmake
include(${CMAKE_CURRENT_LIST_DIR}/Manifest.cmake)
brackenfold_read_manifest(${MANIFEST} types numbers files)

set(arrays "")
set(entries "")
set(index 0)
foreach(type number file IN ZIP_LISTS types numbers files)
  file(SIZE ${file} size)
  file(READ ${file} hex HEX)
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
