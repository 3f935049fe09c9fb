# Services, configuration dumps, overlap analysis and the JSON renderer of
# tarvona_diag. Included by diag/CMakeLists.txt after diag_core is defined.

target_sources(diag_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/src/config_dump.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/mask_config.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/mask_json.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/mask_policy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/overlap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/overlap_collect.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/render_json.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/report_clean.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/services.cpp)

if(ROUTER_TESTS)
  router_add_gtest(diagsvc_unit_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/tests/mask_config_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/tests/config_dump_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/tests/mask_json_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/tests/mask_policy_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/tests/render_json_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/tests/overlap_test.cpp
    LIBS diag_core)

  # The sample router's report, JSON selections, canaries, lookups, overflow.
  router_add_blackbox(diagsvc_blackbox_report ${CMAKE_CURRENT_LIST_DIR}/tests/bb_services.sh
                      DEPENDS tarvona_diag uci)
  # The canary router: no secret in any output form.
  router_add_blackbox(diagsvc_blackbox_canary ${CMAKE_CURRENT_LIST_DIR}/tests/bb_canary.sh
                      DEPENDS tarvona_diag uci)
  # tarvona_diag as a CGI program behind busybox httpd.
  router_add_blackbox(diagsvc_blackbox_cgi ${CMAKE_CURRENT_LIST_DIR}/tests/bb_cgi.sh
                      DEPENDS tarvona_diag uci)
endif()
