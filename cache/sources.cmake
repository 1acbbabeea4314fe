list(APPEND TAVELIN_SOURCES_PURE
  cache/loader.cpp
  cache/memory_store.cpp
  cache/preview_cache.cpp
  cache/resample.cpp
  cache/sizing.cpp
)
list(APPEND TAVELIN_SOURCES_WIN32
  cache/loader_thread_win32.cpp
)
list(APPEND TAVELIN_SOURCES_POSIX
  cache/loader_thread_posix.cpp
  cache/page_memory_posix.cpp
)
