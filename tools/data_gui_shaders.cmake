# The GUI's two shaders, copied from tools/shaders into the data folder.
set(_gui_shaders_out "")
foreach(_name gui_vs.glsl gui_ps.glsl)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/data/shaders/${_name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/data/shaders
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/shaders/${_name} ${CMAKE_BINARY_DIR}/data/shaders/${_name}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/shaders/${_name}
    COMMENT "Copying shader ${_name}")
  list(APPEND _gui_shaders_out ${CMAKE_BINARY_DIR}/data/shaders/${_name})
endforeach()
add_custom_target(data_gui_shaders ALL DEPENDS ${_gui_shaders_out})
add_dependencies(data_folder data_gui_shaders)
