list(APPEND TAVELIN_SOURCES_PURE
  plugin/settings.cpp
)
list(APPEND TAVELIN_SOURCES_WIN32
  plugin/filter_table.cpp
  plugin/window.cpp
  plugin/dialogs_win32.cpp
)
