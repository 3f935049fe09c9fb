# Third-party libraries of the router programs.
#
# json-c: from the system (Debian's libjson-c-dev, or the SDK's staging dir).
# libuci: the system library when one is found (OpenWrt SDK, a distribution
# that packages it, or a prefix given with CMAKE_PREFIX_PATH); otherwise the
# host stand-in in uci_host/ (added by the top CMakeLists.txt when
# ROUTER_UCI_STANDIN is ON), which offers the same C API. Programs link the
# target "uci::uci" either way and never know which one they got.
# ROUTER_UCI_BIN_DIR: the directory with the uci command the tests use
# (empty when the system has none).

find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(JSONC REQUIRED IMPORTED_TARGET json-c)
add_library(json-c::json-c ALIAS PkgConfig::JSONC)

find_path(UCI_INCLUDE_DIR uci.h)
find_library(UCI_LIBRARY uci)
if(UCI_INCLUDE_DIR AND UCI_LIBRARY)
  message(STATUS "libuci: system library ${UCI_LIBRARY}")
  add_library(uci::uci UNKNOWN IMPORTED)
  set_target_properties(uci::uci PROPERTIES
    IMPORTED_LOCATION "${UCI_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${UCI_INCLUDE_DIR}")
  set(ROUTER_UCI_STANDIN OFF)
  # The tests that run the uci command use the system's (beside the library,
  # or anywhere on PATH); without one they are skipped.
  get_filename_component(uci_prefix "${UCI_INCLUDE_DIR}" DIRECTORY)
  find_program(UCI_TOOL uci HINTS "${uci_prefix}/bin" "${uci_prefix}/sbin")
  if(UCI_TOOL)
    message(STATUS "libuci: uci command ${UCI_TOOL}")
    set(ROUTER_UCI_BIN_DIR "${PROJECT_BINARY_DIR}/system-uci")
    file(MAKE_DIRECTORY "${ROUTER_UCI_BIN_DIR}")
    file(CREATE_LINK "${UCI_TOOL}" "${ROUTER_UCI_BIN_DIR}/uci" SYMBOLIC)
  else()
    message(STATUS "libuci: no uci command; the tests that need one are skipped")
    set(ROUTER_UCI_BIN_DIR "")
  endif()
else()
  message(STATUS "libuci: not found, using the host stand-in")
  set(ROUTER_UCI_STANDIN ON)
  set(ROUTER_UCI_BIN_DIR "${PROJECT_BINARY_DIR}/uci_host")
endif()

