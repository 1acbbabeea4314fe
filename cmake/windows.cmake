# The plug-in for Windows, cross-compiled with MinGW-w64. The 32-bit build makes
# the product only; the 64-bit build also makes the stand-in host, the test
# build of the plug-in (guard pages behind every block) and the Wine tests.
enable_language(RC)
include_directories(${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
set(TAVELIN_WARNINGS -Wall -Wextra -Werror)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

set(TAVELIN_RESOURCES "")
include(resources/sources.cmake)

add_library(tavelin_objects OBJECT ${TAVELIN_SOURCES_PURE} ${TAVELIN_SOURCES_WIN32})
target_compile_options(tavelin_objects PRIVATE ${TAVELIN_WARNINGS})

# The host loads the DLL with Windows' own DLLs only: the C++ runtime, libgcc
# and the thread library are linked in statically.
function(tavelin_plugin_dll target output_dir page_memory_source)
  add_library(${target} SHARED $<TARGET_OBJECTS:tavelin_objects> ${page_memory_source}
              ${CMAKE_SOURCE_DIR}/plugin/tavelin.def ${TAVELIN_RESOURCES})
  target_compile_options(${target} PRIVATE ${TAVELIN_WARNINGS})
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME tavelin
                        RUNTIME_OUTPUT_DIRECTORY ${output_dir})
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ -s)
  target_link_libraries(${target} PRIVATE user32 gdi32 winmm)
endfunction()

tavelin_plugin_dll(tavelin ${CMAKE_BINARY_DIR}/product ${CMAKE_SOURCE_DIR}/cache/page_memory_win32.cpp)
if(TAVELIN_DIST_DIR)
  add_custom_command(TARGET tavelin POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TAVELIN_DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:tavelin> ${TAVELIN_DIST_DIR}/$<TARGET_FILE_NAME:tavelin>)
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  # The build the Wine tests load: same code, guard pages behind every block.
  tavelin_plugin_dll(tavelin_guarded ${CMAKE_BINARY_DIR}/bin ${CMAKE_SOURCE_DIR}/cache/page_memory_guarded_win32.cpp)
  add_subdirectory(host)
  add_subdirectory(tests/wine)
  if(EXISTS ${CMAKE_SOURCE_DIR}/bench/wine/CMakeLists.txt)
    add_subdirectory(bench/wine)
  endif()
endif()
