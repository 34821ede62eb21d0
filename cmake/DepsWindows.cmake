# Links the Windows build against the static SDL2, GLEW, mpg123 and stb_image
# from the prefix made by scripts/build-deps-windows.sh, and the C and C++
# runtimes statically, so that a program imports only Windows' own DLLs. It
# defines the same targets as the Linux build, so nothing else changes.
set(OSTREL_WINDOWS_DEPS "" CACHE PATH "Prefix made by scripts/build-deps-windows.sh")
set(prefix ${OSTREL_WINDOWS_DEPS})
foreach(lib libSDL2.a libSDL2main.a libglew32.a libmpg123.a libstb.a)
  if(NOT EXISTS ${prefix}/lib/${lib})
    message(FATAL_ERROR "OSTREL_WINDOWS_DEPS: ${prefix}/lib/${lib} is missing (run scripts/build-deps-windows.sh)")
  endif()
endforeach()

# The Windows libraries SDL2 itself needs, as its build recorded them.
execute_process(COMMAND sh ${prefix}/bin/sdl2-config --static-libs
  OUTPUT_VARIABLE sdl_flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
separate_arguments(sdl_flags UNIX_COMMAND "${sdl_flags}")
set(sdl_system_libs "")
set(sdl_link_options "")
foreach(flag ${sdl_flags})
  if(flag MATCHES "^-l(.+)$")
    set(lib ${CMAKE_MATCH_1})
    if(NOT lib MATCHES "^(mingw32|SDL2main|SDL2)$")
      list(APPEND sdl_system_libs ${lib})
    endif()
  elseif(flag MATCHES "^-Wl,")  # address space randomisation, no executable data
    list(APPEND sdl_link_options ${flag})
  endif()
endforeach()

add_library(SDL2::SDL2 STATIC IMPORTED)
set_target_properties(SDL2::SDL2 PROPERTIES
  IMPORTED_LOCATION ${prefix}/lib/libSDL2.a
  INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include/SDL2
  INTERFACE_LINK_LIBRARIES "${sdl_system_libs}"
  INTERFACE_LINK_OPTIONS "${sdl_link_options}")
# SDL's WinMain calls our main (renamed SDL_main by SDL.h). libmingw32 and
# libSDL2main go first on the line, ahead of the objects: the C runtime's
# main asks for WinMain, which asks for SDL_main and for SDL2 after it. The
# deliverables are GUI programs: no console window opens, and SDL's log goes
# to stderr (read when redirected) and to the debugger's output.
add_library(SDL2::SDL2main INTERFACE IMPORTED)
set_target_properties(SDL2::SDL2main PROPERTIES
  INTERFACE_LINK_LIBRARIES SDL2::SDL2
  INTERFACE_LINK_OPTIONS "-mwindows;-lmingw32;${prefix}/lib/libSDL2main.a")

add_library(OpenGL::GL INTERFACE IMPORTED)
set_target_properties(OpenGL::GL PROPERTIES INTERFACE_LINK_LIBRARIES opengl32)

add_library(PkgConfig::GLEW STATIC IMPORTED)
set_target_properties(PkgConfig::GLEW PROPERTIES
  IMPORTED_LOCATION ${prefix}/lib/libglew32.a
  INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include
  INTERFACE_COMPILE_DEFINITIONS GLEW_STATIC
  INTERFACE_LINK_LIBRARIES OpenGL::GL)
add_library(PkgConfig::GLU INTERFACE IMPORTED)
set_target_properties(PkgConfig::GLU PROPERTIES INTERFACE_LINK_LIBRARIES "glu32;OpenGL::GL")

add_library(PkgConfig::MPG123 STATIC IMPORTED)
set_target_properties(PkgConfig::MPG123 PROPERTIES
  IMPORTED_LOCATION ${prefix}/lib/libmpg123.a
  INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include
  INTERFACE_LINK_LIBRARIES shlwapi)
add_library(PkgConfig::STB STATIC IMPORTED)
set_target_properties(PkgConfig::STB PROPERTIES
  IMPORTED_LOCATION ${prefix}/lib/libstb.a
  INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include)

add_link_options(-static -static-libgcc -static-libstdc++)
