# Host-side generators: tools/ is built natively (host g++, Debian's libpng) as a sub-build, and
# kestrune_generate() runs one of its programs at build time to make a file the resources embed.
include_guard(GLOBAL)
include(ExternalProject)

set(KESTRUNE_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
# Every program tools/CMakeLists.txt builds; listed so Ninja knows who makes them.
set(KESTRUNE_HOST_TOOLS icon_generator plate_generator)

set(KESTRUNE_HOST_EXE_SUFFIX "")
if(CMAKE_HOST_WIN32)
    set(KESTRUNE_HOST_EXE_SUFFIX .exe)
endif()

set(_host_tool_outputs)
foreach(_tool IN LISTS KESTRUNE_HOST_TOOLS)
    list(APPEND _host_tool_outputs ${KESTRUNE_HOST_TOOLS_DIR}/${_tool}${KESTRUNE_HOST_EXE_SUFFIX})
endforeach()

# The cross toolchain must not leak into the host build: clear the variables that carry it.
ExternalProject_Add(kestrune_host_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools
    BINARY_DIR ${KESTRUNE_HOST_TOOLS_DIR}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ -UCMAKE_TOOLCHAIN_FILE
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${_host_tool_outputs}
    USES_TERMINAL_BUILD OFF)

# kestrune_generate(OUTPUT <file>... TOOL <program> [ARGS <arg>...] [DEPENDS <file>...])
function(kestrune_generate)
    cmake_parse_arguments(ARG "" "TOOL" "OUTPUT;ARGS;DEPENDS" ${ARGN})
    if(NOT ARG_TOOL IN_LIST KESTRUNE_HOST_TOOLS)
        message(FATAL_ERROR "kestrune_generate: unknown host tool '${ARG_TOOL}'")
    endif()
    add_custom_command(
        OUTPUT ${ARG_OUTPUT}
        COMMAND ${KESTRUNE_HOST_TOOLS_DIR}/${ARG_TOOL}${KESTRUNE_HOST_EXE_SUFFIX} ${ARG_ARGS}
        DEPENDS kestrune_host_tools ${KESTRUNE_HOST_TOOLS_DIR}/${ARG_TOOL}${KESTRUNE_HOST_EXE_SUFFIX} ${ARG_DEPENDS}
        COMMENT "Generating ${ARG_OUTPUT}"
        VERBATIM)
endfunction()
