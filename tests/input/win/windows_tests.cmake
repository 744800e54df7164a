# Window queries and target detection against a helper program: three builds of one source with
# different version resources, and copies under names the detector treats specially.
set(_win_dir ${CMAKE_CURRENT_SOURCE_DIR}/win)
set(_helper_out ${CMAKE_CURRENT_BINARY_DIR})

function(halvex_window_helper name rc)
  set(extra)
  if(rc)
    set(obj ${CMAKE_CURRENT_BINARY_DIR}/${name}.res.obj)
    add_custom_command(OUTPUT ${obj}
      COMMAND ${CMAKE_RC_COMPILER} -O coff -i ${_win_dir}/${rc} -o ${obj}
      DEPENDS ${_win_dir}/${rc} VERBATIM)
    set(extra ${obj})
  endif()
  add_executable(${name} ${_win_dir}/window_helper.cpp ${extra})
  target_link_libraries(${name} PRIVATE user32 shell32)
  target_link_options(${name} PRIVATE -mconsole)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${_helper_out})
endfunction()

halvex_window_helper(halvex_window_helper_product helper_product.rc)
halvex_window_helper(halvex_window_helper_description helper_description.rc)
halvex_window_helper(halvex_window_helper_plain "")
add_custom_command(TARGET halvex_window_helper_plain POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:halvex_window_helper_plain> ${_helper_out}/CHROME.EXE
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:halvex_window_helper_plain> ${_helper_out}/GAME.EXE)

halvex_add_test(halvex_win_target_tests
  SOURCES win/win32_window_system_test.cpp win/helper_process.cpp
  DEPS halvex_target
)
set_target_properties(halvex_win_target_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${_helper_out})
add_dependencies(halvex_win_target_tests halvex_window_helper_product
  halvex_window_helper_description halvex_window_helper_plain)
