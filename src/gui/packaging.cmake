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
# The widgets pull in Qt's core and GUI libraries; the platform plugins are
# packaged apart and the window cannot open without them. AR PL UMing CN draws
# the form at the metrics it was laid out for; the other Chinese fonts are the
# window's fallbacks.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6widgets6 (>= 6.4), qt6-qpa-plugins (>= 6.4), libudev1, libstdc++6, fonts-arphic-uming, fonts-wqy-microhei | fonts-noto-cjk")
include(CPack)
