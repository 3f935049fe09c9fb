# SPDX-License-Identifier: GPL-2.0-only
#
# Make rules shared by the suite's packages. The source of every package is
# this repository; the feed lives in its openwrt/ directory. A package
# Makefile includes $(TOPDIR)/rules.mk, sets PKG_NAME, PKG_VERSION,
# PKG_RELEASE and ROUTER_SUITE_TARGET (the CMake target it builds), includes
# this file, then defines its Package/<name> sections.

PKG_MAINTAINER:=Tarvona router team
PKG_LICENSE:=GPL-2.0-only
# The suite's CMake project looks json-c up even for programs that do not link it.
PKG_BUILD_DEPENDS:=libjson-c

include $(INCLUDE_DIR)/package.mk
include $(INCLUDE_DIR)/cmake.mk

ROUTER_SUITE_SRC ?= $(CURDIR)/../..
ROUTER_SUITE_DIRS:=CMakeLists.txt cmake tests uci_host tarvona_diag velmora zapret2_ctl korvel openwrt

CMAKE_OPTIONS += -DROUTER_TESTS=OFF

define Build/Prepare
	mkdir -p $(PKG_BUILD_DIR)
	$(foreach d,$(ROUTER_SUITE_DIRS),$(CP) $(ROUTER_SUITE_SRC)/$(d) $(PKG_BUILD_DIR)/;)
endef

define Build/Compile
	$(call Build/Compile/Default,$(ROUTER_SUITE_TARGET))
endef
