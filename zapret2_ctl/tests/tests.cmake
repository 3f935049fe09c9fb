# Unit tests (GoogleTest) and black-box tests of zapret2-ctl. Included from
# zapret2_ctl/CMakeLists.txt.

router_add_gtest(zapret2_unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/log_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/value_rules_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dump_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/daemon_probe_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/patch_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/config_load_test.cpp
  LIBS zapret2_core json-c::json-c)
target_compile_definitions(zapret2_unit PRIVATE ZAPRET2_TESTS_DIR="${CMAKE_CURRENT_LIST_DIR}")

foreach(t cli status dump genconfig reset patch scripts)
  router_add_blackbox(zapret2_bb_${t} ${CMAKE_CURRENT_LIST_DIR}/${t}_test.sh DEPENDS zapret2-ctl)
endforeach()
