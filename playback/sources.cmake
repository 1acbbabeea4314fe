list(APPEND TAVELIN_SOURCES_PURE
  playback/view_geometry.cpp
  playback/title.cpp
  playback/wave_image.cpp
  playback/player.cpp
)
list(APPEND TAVELIN_SOURCES_WIN32
  playback/display_win32.cpp
  playback/platform_win32.cpp
)
