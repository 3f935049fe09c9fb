# Test double of the OpenWrt SDK's rules.mk: only the names the feed's
# package Makefiles use, with the SDK's install modes.
INCLUDE_DIR:=$(TOPDIR)/include
INSTALL_DIR:=install -d -m0755
INSTALL_BIN:=install -m0755
INSTALL_DATA:=install -m0644
INSTALL_CONF:=install -m0600
CP:=cp -fpR
LN:=ln -sf
