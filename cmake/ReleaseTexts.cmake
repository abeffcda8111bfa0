# The release's texts, release/brackenfold.nfo and release/file_id.diz in the build folder,
# written from resources/release.txt with this project's version and the credits of the
# scroller text by tools/releasetext, built for the machine that runs the build (as the dialog
# template writer is for the Windows build).

find_program(BRACKENFOLD_HOST_CXX NAMES g++ c++ REQUIRED NO_CMAKE_FIND_ROOT_PATH)

set(BRACKENFOLD_RELEASE_TEXT_DIR ${CMAKE_BINARY_DIR}/release)
set(tool ${CMAKE_BINARY_DIR}/releasetext-host)
set(sources ${CMAKE_SOURCE_DIR}/tools/releasetext/releasetext.cpp ${CMAKE_SOURCE_DIR}/tools/releasetext/ReleaseText.cpp
            ${CMAKE_SOURCE_DIR}/intro/ScrollText.cpp)
add_custom_command(
  OUTPUT ${tool}
  COMMAND ${BRACKENFOLD_HOST_CXX} -std=c++20 -O1 -I${CMAKE_SOURCE_DIR}/intro ${sources} -o ${tool}
  DEPENDS ${sources} ${CMAKE_SOURCE_DIR}/tools/releasetext/ReleaseText.h ${CMAKE_SOURCE_DIR}/intro/ScrollText.h
  COMMENT "Building the release texts' writer for this machine")
add_custom_command(
  OUTPUT ${BRACKENFOLD_RELEASE_TEXT_DIR}/brackenfold.nfo ${BRACKENFOLD_RELEASE_TEXT_DIR}/file_id.diz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${BRACKENFOLD_RELEASE_TEXT_DIR}
  COMMAND ${tool} ${CMAKE_SOURCE_DIR}/resources/release.txt ${PROJECT_VERSION} ${BRACKENFOLD_RELEASE_TEXT_DIR}
  DEPENDS ${tool} ${CMAKE_SOURCE_DIR}/resources/release.txt
  COMMENT "Writing brackenfold.nfo and file_id.diz")
add_custom_target(release_texts ALL
  DEPENDS ${BRACKENFOLD_RELEASE_TEXT_DIR}/brackenfold.nfo ${BRACKENFOLD_RELEASE_TEXT_DIR}/file_id.diz)
