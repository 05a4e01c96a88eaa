# The game's GLSL shaders, kept as sources in tools/shaders and copied into the data folder.
set(_shader_names
  common_model_gs.glsl common_line_gs.glsl common_model_ps.glsl
  static_model_vs.glsl static_inst_vs.glsl
  anim_model_vs.glsl anim_model_ps.glsl anim_glow_ps.glsl
  text_vs.glsl text_ps.glsl
  sparkle_model_vs.glsl sparkle_inst_vs.glsl sparkle_ps.glsl
  gui_vs.glsl gui_ps.glsl)
set(_shaders_out "")
foreach(_name ${_shader_names})
  # The GUI's pair may already have a copy rule of its own; one rule per output file.
  if(_name MATCHES "^gui_" AND TARGET data_gui_shaders)
    continue()
  endif()
  set(_out ${CMAKE_BINARY_DIR}/data/shaders/${_name})
  add_custom_command(OUTPUT ${_out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/data/shaders
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/shaders/${_name} ${_out}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/shaders/${_name}
    COMMENT "Copying shader ${_name}")
  list(APPEND _shaders_out ${_out})
endforeach()
add_custom_target(data_shaders ALL DEPENDS ${_shaders_out})
add_dependencies(data_folder data_shaders)
