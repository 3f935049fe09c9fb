# Test wiring shared by every program directory; each program's
# tests/CMakeLists.txt registers its tests with these two calls and nothing
# else. Paths are relative to that directory.
#
#   router_add_gtest(<name> SOURCES <files...> LIBS <targets...> [DEPENDS <targets...>])
#       builds a GoogleTest executable and registers each of its tests. The
#       test sees the program's src/ and tests/ directories on its include
#       path, and two macros: ROUTER_TESTS_DIR (the tests/ source directory)
#       and ROUTER_PROGRAM_BUILD_DIR (the program's build directory). DEPENDS
#       names targets (generated files) it needs built first.
#   router_add_blackbox(<name> <script> [DEPENDS <targets...>] [LABELS <l...>])
#       registers a black-box test script (bash or python, chosen by its
#       extension) with the environment described in tests/README.md. A
#       script that exits 77 is reported as skipped (say why first).

find_package(GTest REQUIRED)
include(GoogleTest)

set(ROUTER_SANDBOX "${PROJECT_SOURCE_DIR}/tests/sandbox/router-sandbox")
set(ROUTER_SAMPLE "${PROJECT_SOURCE_DIR}/sample_router")
set(ROUTER_TESTLIB "${PROJECT_SOURCE_DIR}/tests/lib")

function(router_add_gtest name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;DEPENDS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  get_filename_component(program_dir "${CMAKE_CURRENT_SOURCE_DIR}" DIRECTORY)
  get_filename_component(program_build_dir "${CMAKE_CURRENT_BINARY_DIR}" DIRECTORY)
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${program_dir}/src)
  target_compile_definitions(${name} PRIVATE
    ROUTER_TESTS_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
    ROUTER_PROGRAM_BUILD_DIR="${program_build_dir}")
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  if(A_DEPENDS)
    add_dependencies(${name} ${A_DEPENDS})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES LABELS unit TIMEOUT 120)
endfunction()

function(router_add_blackbox name script)
  cmake_parse_arguments(A "" "" "DEPENDS;LABELS" ${ARGN})
  get_filename_component(ext "${script}" LAST_EXT)
  if(ext STREQUAL ".py")
    set(runner /usr/bin/python3)
  else()
    set(runner /bin/bash)
  endif()
  # DEPENDS uci: the stand-in's tool, or the system's uci command; a test
  # that needs it on a system without one is skipped, saying so.
  set(bins "")
  foreach(t IN LISTS A_DEPENDS)
    string(TOUPPER "${t}" var)
    string(REGEX REPLACE "[^A-Z0-9]" "_" var "${var}")
    if(t STREQUAL "uci" AND NOT TARGET uci)
      if(NOT ROUTER_UCI_BIN_DIR)
        add_test(NAME ${name} COMMAND /bin/sh -c
                 "echo 'skipped: ${name} needs the uci command, and this system has none'; exit 77")
        set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 LABELS "blackbox;${A_LABELS}")
        return()
      endif()
      list(APPEND bins "BIN_${var}=${ROUTER_UCI_BIN_DIR}/uci")
    else()
      list(APPEND bins "BIN_${var}=$<TARGET_FILE:${t}>")
    endif()
  endforeach()
  add_test(NAME ${name} COMMAND ${runner} ${CMAKE_CURRENT_SOURCE_DIR}/${script}
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set(envs
    "ROUTER_SANDBOX=${ROUTER_SANDBOX}"
    "ROUTER_SAMPLE=${ROUTER_SAMPLE}"
    "ROUTER_TESTLIB=${ROUTER_TESTLIB}"
    "ROUTER_BUILD=${PROJECT_BINARY_DIR}"
    "ROUTER_SRC=${CMAKE_CURRENT_SOURCE_DIR}"
    "ROUTER_SANITIZE=$<BOOL:${ROUTER_SANITIZE}>"
    "UCI_BIN_DIR=${ROUTER_UCI_BIN_DIR}"
    ${bins})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "${envs}"
    LABELS "blackbox;${A_LABELS}"
    SKIP_RETURN_CODE 77
    TIMEOUT 300)
endfunction()
