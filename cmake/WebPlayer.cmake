# The module player for web pages (web/player/): the library compiled to WebAssembly as one file
# that an AudioWorklet adds and runs at once, brackenfold-worklet.js (the glue, the module inside it
# as base64, and the processor after them); the page's ES module beside it; the player's page,
# player.html, beside the intro's; and the npm package's folder, player/package/.
#
# Debian's emscripten (3.1.6) knows nothing of audio worklets: the module is built for a plain
# JavaScript scope (ENVIRONMENT=shell: no window, no importScripts, no fetch), compiled and
# instantiated synchronously (WASM_ASYNC_COMPILATION=0), inside the file (SINGLE_FILE), behind a
# factory (MODULARIZE) that the processor calls in its constructor.

set(BRACKENFOLD_PLAYER_DIR ${CMAKE_SOURCE_DIR}/web/player)
set(BRACKENFOLD_PLAYER_OUT ${CMAKE_BINARY_DIR}/player)

# The library's calls the processor makes, and the C runtime's it needs.
set(BRACKENFOLD_WORKLET_EXPORTS
  bft_version bft_load bft_free bft_render bft_render_float bft_render_planar
  bft_title bft_tracker bft_format bft_rules bft_channels bft_orders bft_rate bft_pass_frames
  bft_position bft_frames_rendered bft_seek_order bft_set_loop bft_set_channel_mask bft_set_gain
  bft_set_separation bft_seek_time bft_seek_row bft_frame_of bft_duration bft_set_repeat
  bft_instruments bft_instrument_name bft_samples bft_sample_name bft_message bft_patterns
  bft_pattern_rows bft_order_pattern bft_pattern_cell_text bft_get_channel_state bft_set_mute
  bft_set_solo bft_set_interpolation bft_probe malloc free)
list(TRANSFORM BRACKENFOLD_WORKLET_EXPORTS PREPEND "'_")
list(TRANSFORM BRACKENFOLD_WORKLET_EXPORTS APPEND "'")
list(JOIN BRACKENFOLD_WORKLET_EXPORTS "," BRACKENFOLD_WORKLET_EXPORT_LIST)

add_executable(brackenfold_worklet ${BRACKENFOLD_PLAYER_DIR}/src/PlanarRender.c)
target_link_libraries(brackenfold_worklet PRIVATE tracker)
set_target_properties(brackenfold_worklet PROPERTIES
  OUTPUT_NAME brackenfold-worklet SUFFIX ".js" RUNTIME_OUTPUT_DIRECTORY ${BRACKENFOLD_PLAYER_OUT}
  LINK_DEPENDS ${BRACKENFOLD_PLAYER_DIR}/src/processor.js)
target_link_options(brackenfold_worklet PRIVATE
  --no-entry -Oz
  -sENVIRONMENT=shell -sSINGLE_FILE=1 -sWASM_ASYNC_COMPILATION=0
  -sMODULARIZE=1 -sEXPORT_NAME=createBrackenfoldTracker
  -sWASM_BIGINT=1 -sALLOW_MEMORY_GROWTH=1 -sFILESYSTEM=0 -sEXIT_RUNTIME=0
  "-sEXPORTED_FUNCTIONS=[${BRACKENFOLD_WORKLET_EXPORT_LIST}]"
  "-sEXPORTED_RUNTIME_METHODS=['UTF8ToString','stringToUTF8']"
  --extern-post-js ${BRACKENFOLD_PLAYER_DIR}/src/processor.js)

# The page's module, its types and the package's texts in player/ (the package: `npm pack` there
# makes the tarball), the page beside the intro's. The package and the page carry the version.
set(BRACKENFOLD_PLAYER_FILES
  src/brackenfold-player.js src/wav.js src/brackenfold-player.d.ts README.md ../../LICENSE)
set(BRACKENFOLD_PAGE_FILES page/player.css page/PlayerPage.js page/PatternView.js page/ChannelMeters.js
  page/Playlist.js)
set(BRACKENFOLD_VERSION ${PROJECT_VERSION})
configure_file(${BRACKENFOLD_PLAYER_DIR}/package.json ${BRACKENFOLD_PLAYER_OUT}/package.json @ONLY)
configure_file(${BRACKENFOLD_PLAYER_DIR}/page/player.html ${CMAKE_BINARY_DIR}/player.html @ONLY)
set(copied)
foreach(file IN LISTS BRACKENFOLD_PLAYER_FILES BRACKENFOLD_PAGE_FILES)
  get_filename_component(name ${file} NAME)
  if(file IN_LIST BRACKENFOLD_PAGE_FILES)
    set(target_file ${CMAKE_BINARY_DIR}/${name})
  else()
    set(target_file ${BRACKENFOLD_PLAYER_OUT}/${name})
  endif()
  add_custom_command(OUTPUT ${target_file}
    COMMAND ${CMAKE_COMMAND} -E copy ${BRACKENFOLD_PLAYER_DIR}/${file} ${target_file}
    DEPENDS ${BRACKENFOLD_PLAYER_DIR}/${file})
  list(APPEND copied ${target_file})
endforeach()
add_custom_target(brackenfold_player ALL DEPENDS ${copied} brackenfold_worklet)

# The package's tarball, brackenfold-tracker-VERSION.tgz in the build folder's top, for a page to
# install from the file (npm install ./brackenfold-tracker-VERSION.tgz), where npm is here.
find_program(BRACKENFOLD_NPM npm)
if(BRACKENFOLD_NPM)
  set(tarball ${CMAKE_BINARY_DIR}/brackenfold-tracker-${PROJECT_VERSION}.tgz)
  add_custom_command(OUTPUT ${tarball}
    COMMAND ${BRACKENFOLD_NPM} pack --silent --pack-destination ${CMAKE_BINARY_DIR} > /dev/null
    WORKING_DIRECTORY ${BRACKENFOLD_PLAYER_OUT}
    DEPENDS ${copied} brackenfold_worklet ${BRACKENFOLD_PLAYER_OUT}/package.json
    COMMENT "npm package brackenfold-tracker-${PROJECT_VERSION}.tgz")
  add_custom_target(brackenfold_player_package ALL DEPENDS ${tarball})
  add_dependencies(brackenfold_player_package brackenfold_player)
else()
  add_custom_target(brackenfold_player_package COMMAND ${CMAKE_COMMAND} -E echo "no npm here: no package tarball")
endif()
