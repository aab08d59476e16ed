# The Windows programs for users, made by one command,
# `cmake --build --preset windows --target package`:
#   dl250t-config-<version>-win64.exe  an installer (NSIS) that puts
#       dl250t-config.exe and dl250t-cli.exe under Program Files, adds a
#       Start-menu entry with the program icon and an uninstaller;
#   dl250t-config-<version>-win64.zip  the same programs and the README in one
#       folder, for use without installing (from a USB stick on a line PC).

# The README with Windows line ends, which older Notepad needs to show it in
# lines; the repository keeps it with Unix ones.
set(DL250T_WINDOWS_README ${CMAKE_CURRENT_BINARY_DIR}/README.txt
    CACHE INTERNAL "The README of the Windows packages, with Windows line ends")
configure_file(README.txt ${DL250T_WINDOWS_README} @ONLY NEWLINE_STYLE CRLF)
install(FILES ${DL250T_WINDOWS_README} DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME dl250t-config)
set(CPACK_PACKAGE_VENDOR "QF-DL250T configuration tool")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Configuration tool for QF-DL250T sub-GHz radio modules on a serial port")
set(CPACK_PACKAGE_FILE_NAME dl250t-config-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
# The installer's own pages show the README instead of a licence.
set(CPACK_RESOURCE_FILE_LICENSE ${DL250T_WINDOWS_README})

set(CPACK_PACKAGE_INSTALL_DIRECTORY "QF-DL250T Configure Tool")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "QF-DL250T Configure Tool")
set(CPACK_NSIS_DISPLAY_NAME "QF-DL250T Configure Tool")
set(CPACK_NSIS_MUI_ICON ${DL250T_PROGRAM_ICON})
set(CPACK_NSIS_MUI_UNIICON ${DL250T_PROGRAM_ICON})
set(CPACK_NSIS_INSTALLED_ICON_NAME dl250t-config.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The Start-menu entry: the window, under the tool's name; its icon is the
# program's own.
set(CPACK_PACKAGE_EXECUTABLES dl250t-config "QF-DL250T Configure Tool")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
include(CPack)
