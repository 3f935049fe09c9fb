# Tests of the libuci stand-in (included from the top directory, see
# ../CMakeLists.txt). Paths are taken from this file's own directory.
set(UCI_TEST_DIR ${CMAKE_CURRENT_LIST_DIR})

router_add_gtest(uci_unit_tests
  SOURCES ${UCI_TEST_DIR}/parse_test.cpp ${UCI_TEST_DIR}/roundtrip_test.cpp
          ${UCI_TEST_DIR}/lookup_test.cpp
          ${UCI_TEST_DIR}/delta_test.cpp
          ${UCI_TEST_DIR}/api_test.cpp
          ${UCI_TEST_DIR}/fuzz_test.cpp
  LIBS uci_standin)
set_target_properties(uci_unit_tests PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/uci_host/tests)

router_add_blackbox(uci_tool ${UCI_TEST_DIR}/uci_tool_test.sh DEPENDS uci)
