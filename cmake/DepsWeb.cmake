# Links the browser build (Emscripten, WebGL2) against SDL2, libmpg123 and
# stb_image from the prefix made by scripts/build-web.sh. It defines the same
# targets as the Linux build; GL comes with Emscripten, and GLEW and GLU are
# not used in the browser, so theirs are empty.
set(OSTREL_WEB_DEPS "" CACHE PATH "Prefix made by scripts/build-web.sh")
set(prefix ${OSTREL_WEB_DEPS})
foreach(lib libSDL2.a libmpg123.a libstb.a)
  if(NOT EXISTS ${prefix}/lib/${lib})
    message(FATAL_ERROR "OSTREL_WEB_DEPS: ${prefix}/lib/${lib} is missing (run scripts/build-web.sh)")
  endif()
endforeach()

add_library(SDL2::SDL2 STATIC IMPORTED)
set_target_properties(SDL2::SDL2 PROPERTIES
  IMPORTED_LOCATION ${prefix}/lib/libSDL2.a
  INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include/SDL2)
add_library(SDL2::SDL2main INTERFACE IMPORTED)
add_library(OpenGL::GL INTERFACE IMPORTED)
add_library(PkgConfig::GLEW INTERFACE IMPORTED)
add_library(PkgConfig::GLU INTERFACE IMPORTED)

add_library(PkgConfig::MPG123 STATIC IMPORTED)
set_target_properties(PkgConfig::MPG123 PROPERTIES
  IMPORTED_LOCATION ${prefix}/lib/libmpg123.a
  INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include)
add_library(PkgConfig::STB STATIC IMPORTED)
set_target_properties(PkgConfig::STB PROPERTIES
  IMPORTED_LOCATION ${prefix}/lib/libstb.a
  INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include)
