# The Windows program's libraries: built statically with mingw-w64 from Debian's source packages by
# scripts/cross-libs.sh win64, whose install prefixes ZRX_WIN_LIBS lists; GL and GLU are
# mingw-w64's import libraries of Windows' own opengl32 and glu32. Each is given the target name
# the desktop build finds it under, so that the layers' own CMake files name them alike.
set(ZRX_WIN_LIBS "" CACHE STRING "the win64 libraries' install prefixes (scripts/cross-libs.sh)")
if(NOT ZRX_WIN_LIBS)
    message(FATAL_ERROR "ZRX_WIN_LIBS is empty: build the Windows program with scripts/windows.sh")
endif()

# M_PI and friends from <cmath>, and no min and max macros from <windows.h>.
add_compile_definitions(_USE_MATH_DEFINES NOMINMAX)
# mingw-w64's <GL/gl.h> includes all of <windows.h> for the four macros below, unless they are
# defined: the show's files that draw would then see Windows' names (its ShowWindow among them).
# Defined exactly as <windows.h> defines them, so that files that include it see no difference.
add_compile_definitions(WINAPI=__stdcall APIENTRY=WINAPI "DECLSPEC_IMPORT=__declspec (dllimport)"
    WINGDIAPI=DECLSPEC_IMPORT)

# A static library and its headers from the prefixes, as the imported target `target`, with the
# libraries it needs after it.
function(win_library target library header)
    find_library(${target}_LIBRARY NAMES ${library} PATHS ${ZRX_WIN_LIBS} PATH_SUFFIXES lib
        NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    find_path(${target}_INCLUDE ${header} PATHS ${ZRX_WIN_LIBS}
        PATH_SUFFIXES include include/kissfft include/SDL NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT ${target}_LIBRARY OR NOT ${target}_INCLUDE)
        message(FATAL_ERROR "no win64 build of ${library} in ZRX_WIN_LIBS")
    endif()
    add_library(${target} INTERFACE IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES
        INTERFACE_LINK_LIBRARIES "${${target}_LIBRARY};${ARGN}"
        INTERFACE_INCLUDE_DIRECTORIES "${${target}_INCLUDE}")
endfunction()

win_library(win_zlib z zlib.h)
win_library(PNG::PNG png16 png.h win_zlib)
win_library(JPEG::JPEG jpeg jpeglib.h)
# mpg123's path helpers use the shell's light API.
win_library(PkgConfig::MPG123 mpg123 mpg123.h shlwapi)
win_library(kissfft::kissfft-float kissfft-float kiss_fftr.h)
set_property(TARGET kissfft::kissfft-float PROPERTY INTERFACE_COMPILE_DEFINITIONS
    kiss_fft_scalar=float)
# SDL 1.2 with its entry point (SDLmain's WinMain calls our main, which SDL.h renames SDL_main)
# and the system libraries of its GDI video, DirectSound and waveOut audio.
win_library(win_sdlmain SDLmain SDL_main.h)
win_library(win_sdl SDL SDL.h user32 gdi32 winmm dxguid)
add_library(PkgConfig::SDL INTERFACE IMPORTED GLOBAL)
set_target_properties(PkgConfig::SDL PROPERTIES
    INTERFACE_LINK_LIBRARIES "mingw32;win_sdlmain;win_sdl")

add_library(OpenGL::GL INTERFACE IMPORTED GLOBAL)
set_target_properties(OpenGL::GL PROPERTIES INTERFACE_LINK_LIBRARIES opengl32)
add_library(OpenGL::GLU INTERFACE IMPORTED GLOBAL)
set_target_properties(OpenGL::GLU PROPERTIES INTERFACE_LINK_LIBRARIES glu32)
# std::thread and its kin come from winpthreads, linked statically with the rest (-static).
add_library(Threads::Threads INTERFACE IMPORTED GLOBAL)
