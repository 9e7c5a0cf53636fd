# Shared build settings and helper functions for every layer.

add_compile_options(-Wall -Wextra)

if(VELMORA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(VELMORA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VELMORA_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Environment for every test: sanitizers fail loudly, Qt draws offscreen.
set(VELMORA_TEST_ENV
    "QT_QPA_PLATFORM=offscreen"
    "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    "VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR}")

# A bound on each test's run, so that a test that hangs fails under its own name instead of
# holding up the whole run. The slowest tests take under 40 s on an idle 2-core machine with the
# sanitizers and under 2 minutes on a loaded one.
set(VELMORA_TEST_TIMEOUT 1500)

find_package(GTest REQUIRED)

# velmora_add_gtest(NAME SOURCES... LIBS...): a GoogleTest program registered with ctest.
function(velmora_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${VELMORA_TEST_ENV}" TIMEOUT ${VELMORA_TEST_TIMEOUT})
endfunction()

# velmora_add_qtest(NAME SOURCES... LIBS...): a QtTest program run on the offscreen platform.
function(velmora_add_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test Qt6::Widgets)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${VELMORA_TEST_ENV}" TIMEOUT ${VELMORA_TEST_TIMEOUT})
endfunction()

# velmora_forbid_qt(TARGET): the toolkit and imaging layers must never include Qt.
function(velmora_forbid_qt target)
  get_target_property(srcs ${target} SOURCES)
  get_target_property(dir ${target} SOURCE_DIR)
  file(GLOB_RECURSE files ${dir}/*.h ${dir}/*.cpp)
  foreach(f ${files})
    file(STRINGS ${f} hits REGEX "#include *<Q")
    if(hits)
      message(FATAL_ERROR "${f} includes Qt, but ${target} must stay free of Qt")
    endif()
  endforeach()
endfunction()

# velmora_add_fuzzer(NAME SOURCES... LIBS...): a libFuzzer target. With VELMORA_FUZZ it is a
# real fuzzer; otherwise it is linked with a replay driver and registered as a test that runs
# every file in fuzz/corpus/NAME (seeds and every input a fuzzer ever crashed on).
function(velmora_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(VELMORA_FUZZ)
    add_executable(${name} ${ARG_SOURCES})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    add_test(NAME ${name} COMMAND ${name} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${VELMORA_TEST_ENV}" TIMEOUT ${VELMORA_TEST_TIMEOUT})
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()

# Adds every immediate subdirectory of the current source directory that has a CMakeLists.txt,
# so that each layer owns its own tests, benchmarks and fuzz targets.
macro(velmora_add_subdirectories)
  file(GLOB _velmora_children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _velmora_children)
  foreach(_child ${_velmora_children})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_child}/CMakeLists.txt)
      add_subdirectory(${_child})
    endif()
  endforeach()
endmacro()

# velmora_add_layer_tests(LIBS...): one test program per *_test.cpp (GoogleTest) and per
# *_qtest.cpp (QtTest) file of the current folder, each linked with LIBS. A file NAME.cpp
# that needs more libraries lists them in a variable NAME_LIBS set before the call.
function(velmora_add_layer_tests)
  file(GLOB gtests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(src ${gtests})
    get_filename_component(name ${src} NAME_WE)
    velmora_add_gtest(${name} SOURCES ${src} LIBS ${ARGN} ${${name}_LIBS})
  endforeach()
  file(GLOB qtests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_qtest.cpp)
  foreach(src ${qtests})
    get_filename_component(name ${src} NAME_WE)
    velmora_add_qtest(${name} SOURCES ${src} LIBS ${ARGN} ${${name}_LIBS})
  endforeach()
endfunction()

# velmora_nonempty(VAR): a layer whose sources have not arrived yet still builds, as an empty library.
function(velmora_nonempty var)
  if(NOT ${var})
    set(empty ${CMAKE_CURRENT_BINARY_DIR}/empty_layer.cpp)
    file(WRITE ${empty} "// This layer has no sources yet.\n")
    set(${var} ${empty} PARENT_SCOPE)
  endif()
endfunction()
