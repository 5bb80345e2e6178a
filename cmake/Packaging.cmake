# Debian packages, built with `cpack -G DEB` in the build directory:
#   kivo        the kivo program (/usr/bin/kivo) and the telephony service of phones whose
#               modem ModemManager drives (/usr/bin/kivo-mm-bridge, its systemd user unit)
#   kivo-tools  the command-line tools and the simulators with their default data
#               (/usr/bin/kivo-*, /usr/share/kivo/), and the udev rule and tmpfiles.d line of
#               kivo-devcd-collect (/usr/lib/udev/rules.d/60-kivo-devcd.rules,
#               /usr/lib/tmpfiles.d/kivo-devcd.conf)
# Every install() rule names its package through its component: `kivo` or `tools`. A rule
# without a component lands in neither package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kivo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "KIVO maintainers <kivo-maintainers@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL kivo tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A cross build names its target's architecture (cmake/toolchain/); otherwise CPack asks dpkg.
if(KIVO_DEB_ARCH)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${KIVO_DEB_ARCH})
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)
# The Qt 6 libraries each program links, as dpkg-shlibdeps (dpkg-dev) finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_KIVO_PACKAGE_NAME kivo)
# The bridge needs ModemManager on a phone; KIVO itself runs without it.
set(CPACK_DEBIAN_KIVO_PACKAGE_SUGGESTS modemmanager)
# One string: the first line is the synopsis, the rest the long description.
set(CPACK_COMPONENT_KIVO_DESCRIPTION "Engineering and field-test application for a Linux phone
KIVO switches the phone's field-test screens (FTS) and chooses the favourite and
visible ones, holds the phone on one ARFCN (cell sticker), sets cell bar access and
the cell change warnings, and shows the panic records of the baseband, the kernel and
crashed applications. It runs when device feature flag 356 is set. On a phone whose
modem ModemManager drives, kivo-mm-bridge serves KIVO's telephony service from it.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kivo-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SUGGESTS kivo)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "Command-line tools and simulators for KIVO
kivo-status shows what KIVO has set on the phone, kivo-qcop sends and watches QCop
messages on the session bus, kivo-panic reads the panic records on a console,
kivo-devcd-collect keeps the firmware dumps of devcoredump (started by udev) and
kivo-sample-data writes sample panic sources. kivo-sim-telephony and kivo-sim-fts
stand in for the telephony service and the FTS engine on a development machine, and
kivo-sim-modemmanager for the ModemManager daemon.")

include(CPack)
