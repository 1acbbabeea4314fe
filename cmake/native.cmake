# The platform-free logic on this machine: unit tests under the sanitizers,
# benchmarks, and the two Windows builds as external projects.
include_directories(${CMAKE_SOURCE_DIR})
set(TAVELIN_WARNINGS -Wall -Wextra -Werror)
find_package(Threads REQUIRED)
find_package(GTest REQUIRED)
include(GoogleTest)
enable_testing()

function(tavelin_pure_library target)
  add_library(${target} STATIC ${TAVELIN_SOURCES_PURE} ${TAVELIN_SOURCES_POSIX})
  target_compile_options(${target} PUBLIC ${ARGN} PRIVATE ${TAVELIN_WARNINGS})
  target_link_options(${target} PUBLIC ${ARGN})
  target_link_libraries(${target} PUBLIC Threads::Threads)
endfunction()

set(TAVELIN_ASAN -g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all)
tavelin_pure_library(tavelin_pure_asan ${TAVELIN_ASAN})
tavelin_pure_library(tavelin_pure_tsan -g -O1 -fsanitize=thread)
tavelin_pure_library(tavelin_pure_release -O2 -DNDEBUG)

file(GLOB native_test_sources CONFIGURE_DEPENDS tests/native/*.cpp tests/native/support/*.cpp)
add_executable(native_tests ${native_test_sources})
target_compile_options(native_tests PRIVATE ${TAVELIN_WARNINGS})
target_link_libraries(native_tests PRIVATE tavelin_pure_asan GTest::gtest_main)
gtest_discover_tests(native_tests TEST_PREFIX "native." DISCOVERY_TIMEOUT 60)

file(GLOB tsan_test_sources CONFIGURE_DEPENDS tests/native/tsan/*.cpp)
if(tsan_test_sources)
  add_executable(native_tsan_tests ${tsan_test_sources} tests/native/support/fake_platform.cpp
                 tests/native/support/fake_host.cpp)
  target_compile_options(native_tsan_tests PRIVATE ${TAVELIN_WARNINGS})
  target_link_libraries(native_tsan_tests PRIVATE tavelin_pure_tsan GTest::gtest_main)
  add_test(NAME native.tsan COMMAND native_tsan_tests)
endif()

file(GLOB bench_sources CONFIGURE_DEPENDS bench/native/*.cpp)
foreach(source ${bench_sources})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_compile_options(${name} PRIVATE ${TAVELIN_WARNINGS} -O2)
  target_link_libraries(${name} PRIVATE tavelin_pure_release)
endforeach()

# The Windows builds, as external projects so that each has its own compiler.
include(ExternalProject)
foreach(bits 32 64)
  ExternalProject_Add(win${bits}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/win${bits}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchain-mingw${bits}.cmake
               -DCMAKE_BUILD_TYPE=Release
               $<$<EQUAL:${bits},32>:-DTAVELIN_DIST_DIR=${CMAKE_SOURCE_DIR}/dist>
    BUILD_ALWAYS 1
    INSTALL_COMMAND "")
endforeach()

# Static analysis of every source.
add_test(NAME static.cppcheck COMMAND ${CMAKE_SOURCE_DIR}/tools/static-check.sh)

# The product file itself, byte by byte: one test per check script.
file(GLOB product_checks CONFIGURE_DEPENDS tests/product/check_*.py)
foreach(script ${product_checks})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME product.${name} COMMAND python3 ${script} ${CMAKE_SOURCE_DIR}/dist/tavelin.dll)
endforeach()

# Wine tests: one program each, run in the 64-bit build's folder.
set(TAVELIN_WINE_RUN ${CMAKE_SOURCE_DIR}/tools/wine-run.sh)
add_test(NAME wine.prefix COMMAND ${TAVELIN_WINE_RUN} --init)
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine)
file(GLOB wine_test_sources CONFIGURE_DEPENDS tests/wine/*_test.cpp)
foreach(source ${wine_test_sources})
  get_filename_component(name ${source} NAME_WE)
  add_test(NAME wine.${name} COMMAND ${TAVELIN_WINE_RUN} ${CMAKE_BINARY_DIR}/win64/bin/${name}.exe)
  set_tests_properties(wine.${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300)
endforeach()
