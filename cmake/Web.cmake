# The production as a web page: build-web/site/ holds index.html (web/),
# ostrel.js, ostrel.wasm and ostrel.data, the packed res/. The data mounts at
# /res and the program starts in /bin, so that "../res/..." resolves as on
# the desktop.
set(OSTREL_SITE_DIR ${CMAKE_BINARY_DIR}/site)
file(GLOB_RECURSE web_resources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/*)

add_executable(ostrel-web engine/main.cpp)
set_target_properties(ostrel-web PROPERTIES
  OUTPUT_NAME ostrel SUFFIX .js RUNTIME_OUTPUT_DIRECTORY ${OSTREL_SITE_DIR}
  LINK_DEPENDS "${web_resources};${CMAKE_SOURCE_DIR}/web/index.html")
# Four samples, as most deliverables; the size is the page's, at device pixels.
target_compile_definitions(ostrel-web PRIVATE OSTREL_SAMPLES=4)
target_compile_options(ostrel-web PRIVATE -Wall -Wextra)
target_link_libraries(ostrel-web PRIVATE ostrel_core)
target_link_options(ostrel-web PRIVATE
  -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2 -sALLOW_MEMORY_GROWTH=1
  # The page starts the program from its Play button: audio needs a gesture.
  -sINVOKE_RUN=0 -sEXPORTED_RUNTIME_METHODS=callMain
  -sEXPORTED_FUNCTIONS=_main,_ostrel_quit,_ostrel_render_frame
  # JS helpers that SDL's inline JS calls; read from a file because their
  # names start with a dollar sign, which CMake's link scripts mangle.
  -sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE=@${CMAKE_SOURCE_DIR}/web/sdl-js-helpers.json
  --preload-file ${CMAKE_SOURCE_DIR}/res@/res)
add_custom_command(TARGET ostrel-web POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/web/index.html ${OSTREL_SITE_DIR}/index.html)
