# FFmpeg for both platforms as one imported target, halvex_ffmpeg.
# Linux: Debian's libraries through pkg-config. Windows: the DLLs scripts/build-ffmpeg-windows
# builds into build/ffmpeg-windows/install (HALVEX_FFMPEG_WINDOWS_PREFIX overrides).
if(TARGET halvex_ffmpeg)
  return()
endif()

set(_ff_libs avformat avcodec swresample swscale avutil)
add_library(halvex_ffmpeg INTERFACE)

if(WIN32)
  set(HALVEX_FFMPEG_WINDOWS_PREFIX "${PROJECT_SOURCE_DIR}/build/ffmpeg-windows/install"
      CACHE PATH "FFmpeg built for Windows")
  if(NOT EXISTS "${HALVEX_FFMPEG_WINDOWS_PREFIX}/include/libavcodec/avcodec.h")
    message(FATAL_ERROR "FFmpeg para Windows no encontrado en ${HALVEX_FFMPEG_WINDOWS_PREFIX}; "
                        "ejecute scripts/build-ffmpeg-windows")
  endif()
  target_include_directories(halvex_ffmpeg INTERFACE "${HALVEX_FFMPEG_WINDOWS_PREFIX}/include")
  foreach(l ${_ff_libs})
    # Import libraries by full path: the programs link everything else statically.
    target_link_libraries(halvex_ffmpeg INTERFACE "${HALVEX_FFMPEG_WINDOWS_PREFIX}/lib/lib${l}.dll.a")
  endforeach()
  set(HALVEX_FFMPEG_DLL_DIR "${HALVEX_FFMPEG_WINDOWS_PREFIX}/bin" CACHE INTERNAL "")
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(HALVEX_FF REQUIRED IMPORTED_TARGET
                    libavformat libavcodec libswresample libswscale libavutil)
  target_link_libraries(halvex_ffmpeg INTERFACE PkgConfig::HALVEX_FF)
endif()
