# The companion for Windows as a zip: dl250t-cli.exe and README.txt side by
# side in one folder, made by `cmake --build --preset windows --target package`.

install(FILES ${CMAKE_CURRENT_LIST_DIR}/README.txt DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME dl250t-cli)
set(CPACK_PACKAGE_VENDOR "QF-DL250T configuration tool")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Command-line companion of the QF-DL250T configuration tool, for Windows")
set(CPACK_PACKAGE_FILE_NAME dl250t-cli-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
