# The web build's program: brackenfold.js and brackenfold.wasm beside our own page,
# brackenfold.html, in the build folder's top. emcc writes no page of its own (its HTML minifier
# fails with Debian's package), and links only libraries the package carries.

set(BRACKENFOLD_WEB_PAGE ${CMAKE_SOURCE_DIR}/src/Platform/web/brackenfold.html)

function(brackenfold_web_program target)
  set_target_properties(${target} PROPERTIES
    SUFFIX ".js"
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  target_link_options(${target} PRIVATE
    # Immediate mode, client vertex arrays and the GL 1.1 matrix stack on WebGL 1.
    -sLEGACY_GL_EMULATION=1
    -sMIN_WEBGL_VERSION=1 -sMAX_WEBGL_VERSION=1
    # The page calls main when Start is pressed; the module stays after main returns.
    -sINVOKE_RUN=0 -sEXIT_RUNTIME=0
    -sEXPORTED_RUNTIME_METHODS=callMain
    -sENVIRONMENT=web
    -sALLOW_MEMORY_GROWTH=1
    -sFILESYSTEM=0)
  # The page with the project's version in its line.
  set(BRACKENFOLD_VERSION ${PROJECT_VERSION})
  configure_file(${BRACKENFOLD_WEB_PAGE} ${CMAKE_BINARY_DIR}/brackenfold.html @ONLY)
  # The window icon's picture (icon group 214 of the Windows program) as the page's icon.
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/resources/brackenfold.ico
            ${CMAKE_BINARY_DIR}/brackenfold.ico
    COMMENT "Page icon brackenfold.ico")
endfunction()
