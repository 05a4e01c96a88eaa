# The game's sounds: sixteen effects and the looping town theme, synthesised into data/sounds.
set(_sound_names townthemeraw waterpickup scream drop cutstone cuttree pickup thud clang brick hammer poop apple
  tick drama ting cratebreak)
set(_sound_files "")
foreach(n ${_sound_names})
  list(APPEND _sound_files ${CMAKE_BINARY_DIR}/data/sounds/${n}.wav)
endforeach()
add_custom_command(OUTPUT ${_sound_files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/data/sounds
  COMMAND make_sounds ${CMAKE_BINARY_DIR}/data/sounds
  DEPENDS make_sounds
  COMMENT "Generating the sounds")
add_custom_target(data_sounds ALL DEPENDS ${_sound_files})
add_dependencies(data_folder data_sounds)
