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

# Puts the FFmpeg DLLs (and the thread runtime they import) beside a Windows binary, so it runs
# under Wine or on a Windows machine straight from the build folder. No-op on Linux.
function(halvex_copy_ffmpeg_dlls target)
  if(WIN32)
    file(GLOB _dlls "${HALVEX_FFMPEG_DLL_DIR}/*.dll")
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_dlls} $<TARGET_FILE_DIR:${target}>)
  endif()
endfunction()
