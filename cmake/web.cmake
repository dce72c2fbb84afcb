# The web program's libraries: built for wasm from Debian's source packages by
# scripts/cross-libs.sh wasm, whose install prefixes ZRX_WEB_LIBS lists. Each is given the target name
# the desktop build finds it under, so that the layers' own CMake files name them alike.
set(ZRX_WEB_LIBS "" CACHE STRING "the wasm libraries' install prefixes (scripts/cross-libs.sh)")
if(NOT ZRX_WEB_LIBS)
    message(FATAL_ERROR "ZRX_WEB_LIBS is empty: build the web program with scripts/web.sh")
endif()

# A static library and its headers from the prefixes, as the imported target `target`.
function(web_library target library header)
    find_library(${target}_LIBRARY NAMES ${library} PATHS ${ZRX_WEB_LIBS} PATH_SUFFIXES lib
        NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    find_path(${target}_INCLUDE ${header} PATHS ${ZRX_WEB_LIBS}
        PATH_SUFFIXES include include/kissfft NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT ${target}_LIBRARY OR NOT ${target}_INCLUDE)
        message(FATAL_ERROR "no wasm build of ${library} in ZRX_WEB_LIBS")
    endif()
    add_library(${target} INTERFACE IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES INTERFACE_LINK_LIBRARIES "${${target}_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${${target}_INCLUDE}")
endfunction()

web_library(web_zlib z zlib.h)
web_library(PNG::PNG png16 png.h)
web_library(JPEG::JPEG jpeg jpeglib.h)
web_library(PkgConfig::MPG123 mpg123 mpg123.h)
web_library(kissfft::kissfft-float kissfft-float kiss_fftr.h)
set_property(TARGET PNG::PNG APPEND PROPERTY INTERFACE_LINK_LIBRARIES web_zlib)
set_property(TARGET kissfft::kissfft-float PROPERTY INTERFACE_COMPILE_DEFINITIONS
    kiss_fft_scalar=float)

# Emscripten's own SDL 1.2 (the audio layer's output, unused by the silent device).
add_library(PkgConfig::SDL INTERFACE IMPORTED GLOBAL)
# The GL is our GL 1.x layer over WebGL 2 (standin/gl/), which defines the gl* names.
add_library(OpenGL::GL INTERFACE IMPORTED GLOBAL)
set_target_properties(OpenGL::GL PROPERTIES INTERFACE_LINK_LIBRARIES legacygl)
add_library(Threads::Threads INTERFACE IMPORTED GLOBAL)
