# What `cmake --install` puts in place and what `cpack` makes of it: one
# Debian package with the tool, its companion, the simulated module, the
# program icon and the menu entry.

include(GNUInstallDirs)

install(TARGETS dl250t-config RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(size 16 32 48 64 128)
    install(FILES icons/dl250t-config-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME dl250t-config.png)
endforeach()
install(FILES dl250t-config.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dl250t-config)
set(CPACK_PACKAGE_VENDOR "QF-DL250T configuration tool")
set(CPACK_PACKAGE_CONTACT "QF-DL250T configuration tool maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Configuration tool for QF-DL250T sub-GHz radio modules on a serial port")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Reads a module's configuration block into a form, writes the form back, saves and opens "
    "scrambled *.cfg files, and configures every module plugged in while auto-configure is on. "
    "Comes with dl250t-cli for scripts and dl250t-sim, a simulated module.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The libraries the programs are linked with are found by dpkg-shlibdeps, with
# the versions they need. What no program is linked with is named here: Qt's
# platform plugins, packaged apart, without which the window cannot open; AR PL
# UMing CN, which draws the form at the metrics it was laid out for, and the
# window's fallback fonts; and libpq5, which the programs load only when a
# database journal is named (a station without one needs nothing of it).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins (>= 6.4), fonts-arphic-uming, fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libpq5")
include(CPack)
