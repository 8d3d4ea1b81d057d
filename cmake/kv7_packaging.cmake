# Debian packages, one per install component (cmake/kv7_install.cmake):
#   cpack -G DEB --config build/CPackConfig.cmake    (scripts/package does it)
# Shared-library dependencies come from dpkg-shlibdeps (Debian package
# dpkg-dev); a package lists the others it needs itself.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kv7update-tool)
set(CPACK_PACKAGE_VENDOR "Zelvo")
set(CPACK_PACKAGE_CONTACT "kv7update_tool developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_COMPONENTS_ALL "")

# kv7_debian_package(COMPONENT NAME package SUMMARY text DESCRIPTION text
#                    [DEPENDS list] [SUGGESTS list])
macro(kv7_debian_package comp)
  cmake_parse_arguments(PKG "" "NAME;SUMMARY;DESCRIPTION" "DEPENDS;SUGGESTS" ${ARGN})
  string(TOUPPER ${comp} PKG_UP)
  list(APPEND CPACK_COMPONENTS_ALL ${comp})
  set(CPACK_DEBIAN_${PKG_UP}_PACKAGE_NAME ${PKG_NAME})
  set(CPACK_COMPONENT_${PKG_UP}_DESCRIPTION "${PKG_SUMMARY}\n${PKG_DESCRIPTION}")
  if(PKG_DEPENDS)
    string(REPLACE ";" ", " PKG_DEPENDS "${PKG_DEPENDS}")
    set(CPACK_DEBIAN_${PKG_UP}_PACKAGE_DEPENDS "${PKG_DEPENDS}")
  endif()
  if(PKG_SUGGESTS)
    string(REPLACE ";" ", " PKG_SUGGESTS "${PKG_SUGGESTS}")
    set(CPACK_DEBIAN_${PKG_UP}_PACKAGE_SUGGESTS "${PKG_SUGGESTS}")
  endif()
endmacro()

kv7_debian_package(tool NAME kv7update-tool
  SUMMARY "flash maintenance tool for Zelvo PCIe Ethernet controllers"
  DESCRIPTION "Lists the controllers bound to the zelnic driver, writes firmware and PXE images while each card keeps its own user configuration, edits and verifies that configuration (MAC addresses, serial and part number, serdes, LED, LLDP, Wake-on-LAN), dumps what a card stores and builds flash images offline."
  SUGGESTS zelnic-sim)
kv7_debian_package(sim NAME zelnic-sim
  SUMMARY "simulator of the zelnic driver's sysfs files"
  DESCRIPTION "Serves simulated Zelvo controllers, whose flash lives in plain files, in a private mount namespace over /sys/bus/pci/drivers and /sys/class/net, so that kv7update_tool runs unchanged without a card. Needs root and /dev/fuse."
  SUGGESTS kv7update-tool)
kv7_debian_package(zelvoctl NAME zelvoctl
  SUMMARY "safe burns, backups and JSON output for Zelvo PCIe Ethernet controllers"
  DESCRIPTION "A second front end on the library of kv7update_tool: lists the cards, shows and edits the user record field by field, backs a card up with a manifest of SHA-256 sums, burns firmware and PXE images with a backup first and a read-back after, restores, verifies and checks a host for duplicate MAC addresses and serial numbers; tables or JSON."
  SUGGESTS zelnic-sim)

include(CPack)
