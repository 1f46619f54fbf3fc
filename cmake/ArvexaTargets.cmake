# Target helpers shared by every folder, so each deliverable, stand-in and
# test program is built the same way in both builds.

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(ARVEXA_ARCH win32)
else()
  set(ARVEXA_ARCH win64)
endif()
set(ARVEXA_DIST_DIR ${PROJECT_SOURCE_DIR}/dist/${ARVEXA_ARCH})

# Adds each listed folder that has been filled with a CMakeLists.txt.
function(arvexa_add_subdirectories)
  foreach(dir IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

function(arvexa_common_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  target_compile_definitions(${target} PRIVATE WINVER=0x0501 _WIN32_WINNT=0x0501)
endfunction()

# The three programs use the wide-character calls and a wide main.
function(arvexa_wide_program target)
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_link_options(${target} PRIVATE -municode)
  endif()
endfunction()

# A shipping binary: also copied to dist/<arch>/ after every build.
function(arvexa_deliverable target)
  arvexa_common_options(${target})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ARVEXA_DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${ARVEXA_DIST_DIR}/
    VERBATIM)
endfunction()

# A program or library that stands in for something not on these machines.
function(arvexa_standin target)
  arvexa_common_options(${target})
endfunction()

# arvexa_add_test(NAME SOURCES src... [LIBRARIES lib...] [DEPENDS target...])
# A GoogleTest program run under Wine; DEPENDS names the binaries it drives,
# which land beside it in bin/.
function(arvexa_add_test name)
  if(NOT ARVEXA_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBRARIES;DEPENDS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  arvexa_common_options(${name})
  # Wide calls, but GoogleTest's own narrow main.
  target_compile_definitions(${name} PRIVATE UNICODE _UNICODE)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${T_LIBRARIES} GTest::gtest GTest::gtest_main)
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  # Discovery runs under the emulator at test time, inside the warm session.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
endfunction()
