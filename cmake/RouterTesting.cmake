# Test wiring shared by every program directory.
#
#   router_add_gtest(<name> SOURCES <files...> LIBS <targets...>)
#       builds a GoogleTest executable and registers each of its tests.
#   router_add_blackbox(<name> <script> [DEPENDS <targets...>] [LABELS <l...>])
#       registers a black-box test script (bash or python, chosen by its
#       extension) with the environment described in tests/README.md.

find_package(GTest REQUIRED)
include(GoogleTest)

set(ROUTER_SANDBOX "${PROJECT_SOURCE_DIR}/tests/sandbox/router-sandbox")
set(ROUTER_SAMPLE "${PROJECT_SOURCE_DIR}/sample_router")
set(ROUTER_TESTLIB "${PROJECT_SOURCE_DIR}/tests/lib")

function(router_add_gtest name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
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
  add_test(NAME ${name} COMMAND ${runner} ${script}
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
    TIMEOUT 300)
endfunction()
