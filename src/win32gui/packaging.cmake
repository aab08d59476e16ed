# The Windows programs for users, made by one command,
# `cmake --build --preset windows --target package`:
#   dl250t-config-<version>-win64.exe  a 64-bit installer (NSIS) that puts
#       dl250t-config.exe, dl250t-cli.exe and the README under Program Files,
#       adds a Start-menu entry with the program icon and an uninstaller, and
#       lists the tool among the installed programs;
#   dl250t-config-<version>-win64.zip  the same programs and the README in one
#       folder, for use without installing (from a USB stick on a line PC).

# The README with Windows line ends, which older Notepad needs to show it in
# lines; the repository keeps it with Unix ones.
set(DL250T_WINDOWS_README ${CMAKE_CURRENT_BINARY_DIR}/README.txt
    CACHE INTERNAL "The README of the Windows packages, with Windows line ends")
configure_file(README.txt ${DL250T_WINDOWS_README} @ONLY NEWLINE_STYLE CRLF)
install(FILES ${DL250T_WINDOWS_README} DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_GENERATOR NSIS ZIP)
# Values reach the installer's script as written here, backslashes included.
set(CPACK_VERBATIM_VARIABLES ON)
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
# A 64-bit installer like the programs it carries: it runs wherever they do,
# writes to the 64-bit registry and Program Files without redirection, and,
# unlike a 32-bit one, runs under the Wine of the build machine, whose tests
# install and uninstall it. CPack splits the makensis command at blanks; the
# backslash keeps the script command one argument.
set(CPACK_NSIS_EXECUTABLE_PRE_ARGUMENTS [[-XTarget\ amd64-unicode]])
# One entry for the tool whatever its version, so that installing a new
# version finds the old one and uninstalls it first.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY dl250t-config)
# The entry's fields that CPack does not write itself: what a silent
# uninstall runs, and where the tool is.
set(uninstall_key
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  WriteRegStr SHCTX \"${uninstall_key}\" \"QuietUninstallString\" '\"$INSTDIR\\Uninstall.exe\" /S'
  WriteRegStr SHCTX \"${uninstall_key}\" \"InstallLocation\" \"$INSTDIR\"")
# The Start-menu entry: the window, under the tool's name; its icon is the
# program's own.
set(CPACK_PACKAGE_EXECUTABLES dl250t-config "QF-DL250T Configure Tool")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
include(CPack)
