# Services, configuration dumps, overlap analysis and the JSON renderer of
# tarvona_diag. Included by diag/CMakeLists.txt after diag_core is defined.

target_sources(diag_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/services.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overlap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/render_json.cpp)
