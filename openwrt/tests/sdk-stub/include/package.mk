# Test double of the SDK's package.mk. BuildPackage turns a package into
# four targets of this make run:
#   info     prints depends, build-depends, license, version and conffiles
#   prepare  runs Build/Prepare (into PKG_BUILD_DIR)
#   compile  runs Build/Compile
#   install  runs Package/NAME/install into DESTDIR
PKG_BUILD_DIR ?= $(BUILD_DIR)/$(PKG_NAME)-$(PKG_VERSION)

define BuildPackage
$(eval $(Package/$(1)))
.PHONY: info prepare compile install
info:
	@echo 'title: $(TITLE)'
	@echo 'depends: $(DEPENDS)'
	@echo 'build-depends: $(PKG_BUILD_DEPENDS)'
	@echo 'license: $(PKG_LICENSE)'
	@echo 'version: $(PKG_VERSION)-r$(PKG_RELEASE)'
	@echo 'cmake-options: $(CMAKE_OPTIONS)'
	@printf '%s\n' $(foreach f,$(Package/$(1)/conffiles),'conffile: $(f)')
prepare:
	$$(Build/Prepare)
compile:
	$$(Build/Compile)
install:
	$$(call Package/$(1)/install,$$(DESTDIR))
endef
