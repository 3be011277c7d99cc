# SPDX-License-Identifier: GPL-3.0-or-later
# Debian package of the installed tree: `cpack -G DEB` in the build directory.
set(LUMO_PACKAGE_MAINTAINER "Lumo developers <lumo@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumo)
set(CPACK_PACKAGE_VENDOR "${LUMO_MAKER_NAME}")
set(CPACK_PACKAGE_CONTACT "${LUMO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watch expiring domain names and look them up")
# Lines of the long description stay within 80 columns, the leading space included.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Lumo shows, for six days around today, how many names of each suffix and\n"
    "length a listing service will delete, lists those names page by page and\n"
    "looks one name up at a lookup service. The package also carries lumo-sites,\n"
    "which serves the bundled listing, lookup and maker sites on 127.0.0.1:8613.\n"
    "A user socket unit, or else the window itself, starts it when needed.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LUMO_PACKAGE_MAINTAINER}")
# dpkg-shlibdeps finds the Qt libraries the programs link; the xcb platform plugin is loaded
# at run time and the window needs a font with the Chinese captions, so both are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The store of fetched lists goes through Qt's SQLite driver, a plugin loaded at run time, and
# Qt loads OpenSSL at run time too for the registries' https addresses.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, libqt6sql6-sqlite, libssl3, ca-certificates, fonts-wqy-microhei | fonts-noto-cjk")
# Qt's own dialogs (message box buttons, the save dialog) in Chinese, like the window.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")

# Maintainer scripts: enable the bundled sites' socket for every user, and on removal stop
# what runs and take the enabling back.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/dist/debian/postinst;${PROJECT_SOURCE_DIR}/dist/debian/prerm;${PROJECT_SOURCE_DIR}/dist/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
