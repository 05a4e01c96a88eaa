# The animated figures, their skins and the sparkle texture, generated into data/props.
set(_figure_files "")
foreach(f ork.md2 ork.dds druid.md2 druid.dds dragon.md2 dragon.dds sparkle.dds)
  list(APPEND _figure_files ${CMAKE_BINARY_DIR}/data/props/${f})
endforeach()
add_custom_command(OUTPUT ${_figure_files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/data/props
  COMMAND make_figures ${CMAKE_BINARY_DIR}/data
  DEPENDS make_figures
  COMMENT "Generating the animated figures and their textures")
add_custom_target(data_figures ALL DEPENDS ${_figure_files})
add_dependencies(data_folder data_figures)

# `cmake --build <build> --target figures_preview` renders every sequence of every figure into
# <build>/figures_preview.png, the ork wearing the data folder's crown in its first row
# (software-rendered, for looking at; not part of the data folder).
add_custom_target(figures_preview
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/preview/props
  COMMAND make_figures ${CMAKE_BINARY_DIR}/preview --preview ${CMAKE_BINARY_DIR}/figures_preview.png
          --crown ${CMAKE_BINARY_DIR}/data/props/crown.geo
  DEPENDS make_figures
  COMMENT "Rendering the figures' preview")
add_dependencies(figures_preview data_folder)
