# Third-party libraries of the router programs.
#
# json-c: from the system (Debian's libjson-c-dev, or the SDK's staging dir).
# libuci: the system library when one is found (OpenWrt SDK); otherwise the
# host stand-in in uci_host/, which offers the same C API. Programs link the
# target "uci::uci" either way and never know which one they got.

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
else()
  message(STATUS "libuci: not found, using the host stand-in")
  add_subdirectory(${PROJECT_SOURCE_DIR}/uci_host)
  set(ROUTER_UCI_STANDIN ON)
endif()

find_package(Threads REQUIRED)
