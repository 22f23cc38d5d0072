# Third-party pieces, all from Debian packages: nlohmann/json (headers), GoogleTest (sources),
# and an import library for xmllite.dll, which mingw-w64 does not ship.

# Expose only the nlohmann folder: the host's /usr/include must stay off the cross include path.
set(NLOHMANN_JSON_SOURCE_DIR /usr/include/nlohmann CACHE PATH "nlohmann/json header folder")
if(NOT EXISTS ${NLOHMANN_JSON_SOURCE_DIR}/json.hpp)
    message(FATAL_ERROR "nlohmann/json not found in ${NLOHMANN_JSON_SOURCE_DIR} (install nlohmann-json3-dev)")
endif()
set(KESTRUNE_DEPS_INCLUDE ${CMAKE_BINARY_DIR}/deps/include)
file(MAKE_DIRECTORY ${KESTRUNE_DEPS_INCLUDE})
file(CREATE_LINK ${NLOHMANN_JSON_SOURCE_DIR} ${KESTRUNE_DEPS_INCLUDE}/nlohmann SYMBOLIC)
add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE ${KESTRUNE_DEPS_INCLUDE})
target_compile_definitions(nlohmann_json INTERFACE JSON_USE_IMPLICIT_CONVERSIONS=0)

set(XMLLITE_IMPORT_LIB ${CMAKE_BINARY_DIR}/deps/lib/libxmllite.a)
add_custom_command(
    OUTPUT ${XMLLITE_IMPORT_LIB}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/deps/lib
    COMMAND ${CMAKE_DLLTOOL} -d ${CMAKE_SOURCE_DIR}/cmake/xmllite.def -l ${XMLLITE_IMPORT_LIB}
    DEPENDS ${CMAKE_SOURCE_DIR}/cmake/xmllite.def
    COMMENT "Generating the xmllite.dll import library")
add_custom_target(xmllite_import DEPENDS ${XMLLITE_IMPORT_LIB})
add_library(xmllite STATIC IMPORTED GLOBAL)
set_target_properties(xmllite PROPERTIES IMPORTED_LOCATION ${XMLLITE_IMPORT_LIB})
add_dependencies(xmllite xmllite_import)

if(KESTRUNE_BUILD_TESTS)
    set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
    if(NOT EXISTS ${GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
        message(FATAL_ERROR "GoogleTest sources not found in ${GOOGLETEST_SOURCE_DIR} (install googletest)")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
