# The version of the headers the build machine has.
include(/usr/share/cmake/nlohmann_json/nlohmann_jsonConfigVersion.cmake OPTIONAL
    RESULT_VARIABLE _dl250t_json_version)
if(NOT _dl250t_json_version)
    set(PACKAGE_VERSION_UNSUITABLE TRUE)
endif()
unset(_dl250t_json_version)
