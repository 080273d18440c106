# SPDX-License-Identifier: GPL-3.0-or-later
# pelmora_install_icon(SVG NAME) installs the SVG into the hicolor theme as scalable/apps/NAME.svg
# together with PNG renderings of it at the fixed sizes that menus and software centres look for.
# The PNGs are rendered from the SVG at build time (rsvg-convert, Debian's librsvg2-bin), so the
# SVG stays the only picture in the tree and no rendering can fall out of step with it.

find_program(PELMORA_RSVG_CONVERT rsvg-convert REQUIRED)

function(pelmora_install_icon svg name)
  get_filename_component(svg ${svg} ABSOLUTE)
  set(pngs)
  foreach(size 48 64 128 256)
    set(png ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}/${name}.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}
      COMMAND ${PELMORA_RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${svg}
      DEPENDS ${svg}
      COMMENT "Rendering the ${size}x${size} icon"
      VERBATIM)
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    list(APPEND pngs ${png})
  endforeach()
  add_custom_target(${name}_icons ALL DEPENDS ${pngs})
  install(FILES ${svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME ${name}.svg)
endfunction()
