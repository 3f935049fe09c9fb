# Test double of the SDK's cmake.mk: the build directory is given by the
# test (CMAKE_BINARY_DIR=...), the default compile step only says what it
# would build.
CMAKE_BINARY_DIR ?= $(PKG_BUILD_DIR)
CMAKE_OPTIONS ?=

define Build/Compile/Default
	@echo "build target: $(1)"
endef
