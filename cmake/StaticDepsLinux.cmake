# Links SDL2, libmpg123 and GLEW (from the prefix made by scripts/build-deps-linux.sh),
# Debian's libGLU.a and libstb.a, and the C++ runtime statically, so that a
# program needs only glibc and the system's OpenGL library at run time. It
# defines the same targets as the dynamic build, so nothing else changes.
set(prefix ${OSTREL_STATIC_DEPS})
foreach(lib libSDL2.a libSDL2main.a libmpg123.a libGLEW.a)
  if(NOT EXISTS ${prefix}/lib/${lib})
    message(FATAL_ERROR "OSTREL_STATIC_DEPS: ${prefix}/lib/${lib} is missing (run scripts/build-deps-linux.sh)")
  endif()
endforeach()
find_library(OSTREL_GLU_STATIC libGLU.a REQUIRED)
find_library(OSTREL_STB_STATIC libstb.a REQUIRED)
find_path(OSTREL_STB_INCLUDE stb_image.h PATH_SUFFIXES stb REQUIRED)

# libGL.so.1 is on every system with OpenGL; GLVND's libOpenGL.so.0 is a
# package of its own that many lack.
set(OpenGL_GL_PREFERENCE LEGACY)
find_package(OpenGL REQUIRED)
find_package(Threads REQUIRED)

# SDL2 reaches its video and audio back ends with dlopen: libc's parts only.
add_library(SDL2::SDL2 STATIC IMPORTED)
set_target_properties(SDL2::SDL2 PROPERTIES
  IMPORTED_LOCATION ${prefix}/lib/libSDL2.a
  INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include/SDL2
  INTERFACE_COMPILE_DEFINITIONS _REENTRANT
  INTERFACE_LINK_LIBRARIES "m;${CMAKE_DL_LIBS};Threads::Threads;rt")
add_library(SDL2::SDL2main STATIC IMPORTED)
set_target_properties(SDL2::SDL2main PROPERTIES
  IMPORTED_LOCATION ${prefix}/lib/libSDL2main.a
  INTERFACE_LINK_LIBRARIES SDL2::SDL2)

add_library(PkgConfig::MPG123 STATIC IMPORTED)
set_target_properties(PkgConfig::MPG123 PROPERTIES
  IMPORTED_LOCATION ${prefix}/lib/libmpg123.a
  INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include
  INTERFACE_LINK_LIBRARIES m)

add_library(PkgConfig::GLEW STATIC IMPORTED)
set_target_properties(PkgConfig::GLEW PROPERTIES
  IMPORTED_LOCATION ${prefix}/lib/libGLEW.a
  INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include
  INTERFACE_LINK_LIBRARIES OpenGL::GL)
add_library(PkgConfig::GLU STATIC IMPORTED)
set_target_properties(PkgConfig::GLU PROPERTIES
  IMPORTED_LOCATION ${OSTREL_GLU_STATIC}
  INTERFACE_LINK_LIBRARIES OpenGL::GL)
add_library(PkgConfig::STB STATIC IMPORTED)
set_target_properties(PkgConfig::STB PROPERTIES
  IMPORTED_LOCATION ${OSTREL_STB_STATIC}
  INTERFACE_INCLUDE_DIRECTORIES ${OSTREL_STB_INCLUDE}
  INTERFACE_LINK_LIBRARIES m)

# libGLU.a is C++: its runtime comes along statically with ours.
add_link_options(-static-libstdc++ -static-libgcc)
