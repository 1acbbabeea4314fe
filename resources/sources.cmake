list(APPEND TAVELIN_RESOURCES ${CMAKE_SOURCE_DIR}/resources/tavelin.rc)
