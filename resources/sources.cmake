# The icons are made at build time from their text pictures.
set(TAVELIN_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
set(TAVELIN_ICONS ${TAVELIN_ICON_DIR}/ICON_PLAY.ico ${TAVELIN_ICON_DIR}/ICON_STOP.ico ${TAVELIN_ICON_DIR}/ICON_READ.ico)
add_custom_command(
  OUTPUT ${TAVELIN_ICONS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TAVELIN_ICON_DIR}
  COMMAND python3 ${CMAKE_SOURCE_DIR}/resources/make_icons.py ${CMAKE_SOURCE_DIR}/resources/icons.txt ${TAVELIN_ICON_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/icons.txt ${CMAKE_SOURCE_DIR}/resources/make_icons.py)
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/tavelin.rc PROPERTIES
  OBJECT_DEPENDS "${TAVELIN_ICONS};${CMAKE_SOURCE_DIR}/plugin/version.h;${CMAKE_SOURCE_DIR}/plugin/resource_ids.h")
list(APPEND TAVELIN_RESOURCES ${CMAKE_SOURCE_DIR}/resources/tavelin.rc ${TAVELIN_ICONS})
# Targets in other folders that compile the resource script wait for this.
add_custom_target(tavelin_icons DEPENDS ${TAVELIN_ICONS})
