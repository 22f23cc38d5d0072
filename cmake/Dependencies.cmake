# Third-party pieces, all from Debian packages: nlohmann/json (headers), GoogleTest (sources),
# and the delay-load import libraries of the system DLLs that are not KnownDLLs.

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

# DLLs outside the KnownDLLs are bound late: a load-time import of one would be looked up in the
# program's own folder before start-up can restrict the search to System32, so a file of that name
# planted next to Kestrune.exe would run. Each gets a delay-load import library, made with dlltool
# from cmake/<name>.def under the target name the code already links (mingw-w64 ships no import
# library for xmllite.dll at all). A function missing from a .def fails the link: add it there.
function(kestrune_delay_import name)
    set(_def ${CMAKE_SOURCE_DIR}/cmake/${name}.def)
    set(_dir ${CMAKE_BINARY_DIR}/deps/lib)
    set(_lib ${_dir}/lib${name}-delay.a)
    # dlltool names its symbols after the output path: a bare file name keeps the build folder out.
    file(MAKE_DIRECTORY ${_dir})
    add_custom_command(
        OUTPUT ${_lib}
        COMMAND ${CMAKE_DLLTOOL} --input-def ${_def} --output-delaylib lib${name}-delay.a
        WORKING_DIRECTORY ${_dir}
        DEPENDS ${_def}
        COMMENT "Generating the delay-load import library of ${name}.dll")
    add_custom_target(${name}_delay_import DEPENDS ${_lib})
    add_library(${name} STATIC IMPORTED GLOBAL)
    set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${_lib})
    add_dependencies(${name} ${name}_delay_import)
endfunction()
kestrune_delay_import(winhttp)
kestrune_delay_import(xmllite)
kestrune_delay_import(msimg32)
kestrune_delay_import(oleacc)

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
