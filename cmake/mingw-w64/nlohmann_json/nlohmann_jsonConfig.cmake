# nlohmann/json is header-only, so a cross build can use the build machine's
# copy. Only its own folder is put on the include path: the rest of /usr/include
# holds the build machine's C library, which must never reach a Windows program.
if(NOT TARGET nlohmann_json::nlohmann_json)
    find_path(DL250T_NLOHMANN_JSON_HEADERS nlohmann/json.hpp
        PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT DL250T_NLOHMANN_JSON_HEADERS)
        set(nlohmann_json_FOUND FALSE)
        set(nlohmann_json_NOT_FOUND_MESSAGE "nlohmann/json.hpp not found (Debian: nlohmann-json3-dev)")
        return()
    endif()
    set(_dl250t_json_include ${CMAKE_BINARY_DIR}/nlohmann_json-include)
    file(MAKE_DIRECTORY ${_dl250t_json_include})
    file(CREATE_LINK ${DL250T_NLOHMANN_JSON_HEADERS}/nlohmann ${_dl250t_json_include}/nlohmann
        SYMBOLIC)
    add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
    set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES ${_dl250t_json_include})
    unset(_dl250t_json_include)
endif()
