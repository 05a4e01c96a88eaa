# The GUI's three TrueType fonts, copied at build time from Debian's DejaVu family
# (package fonts-dejavu-core, installed by tools/install_deps.sh).
set(_dejavu_dir /usr/share/fonts/truetype/dejavu)
set(_font_pairs
  "DejaVuSansMono.ttf:mono_system.ttf"
  "DejaVuSans.ttf:sans_regular.ttf"
  "DejaVuSans-Bold.ttf:sans_bold.ttf")
set(_fonts_out "")
foreach(pair ${_font_pairs})
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 _src)
  list(GET pair 1 _dst)
  if(NOT EXISTS ${_dejavu_dir}/${_src})
    message(FATAL_ERROR "Font ${_dejavu_dir}/${_src} is missing: install fonts-dejavu-core (tools/install_deps.sh)")
  endif()
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/data/fonts/${_dst}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/data/fonts
    COMMAND ${CMAKE_COMMAND} -E copy ${_dejavu_dir}/${_src} ${CMAKE_BINARY_DIR}/data/fonts/${_dst}
    DEPENDS ${_dejavu_dir}/${_src}
    COMMENT "Copying font ${_dst}")
  list(APPEND _fonts_out ${CMAKE_BINARY_DIR}/data/fonts/${_dst})
endforeach()
add_custom_target(data_fonts ALL DEPENDS ${_fonts_out})
add_dependencies(data_folder data_fonts)
