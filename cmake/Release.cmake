# What a release needs from every build: one version, taken from project(), for the version
# resource and the archive name, and a program whose bytes depend only on the sources.

# The version resource includes this header (the build's assets folder is on its include path).
set(KESTRUNE_VERSION_HEADER ${CMAKE_BINARY_DIR}/assets/kestrune_version.h)
configure_file(${CMAKE_SOURCE_DIR}/cmake/kestrune_version.h.in ${KESTRUNE_VERSION_HEADER} @ONLY)
# For scripts/package, which names the archive after it.
file(WRITE ${CMAKE_BINARY_DIR}/kestrune-version.txt "${PROJECT_VERSION}\n")

# No folder of this checkout may end up in a binary: the same commit built elsewhere must match.
# The build folder is named second so that it wins when it lies inside the sources.
target_compile_options(kestrune_options INTERFACE
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>)

# The PE time stamp: ld takes it from SOURCE_DATE_EPOCH when that is set, else it writes the time
# of the link. Kept in the cache so that a later rebuild links with the same stamp.
set(KESTRUNE_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}" CACHE STRING
    "Seconds since 1970 written as the PE time stamp (empty: the time of the link)")
if(KESTRUNE_SOURCE_DATE_EPOCH)
    if(NOT KESTRUNE_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
        message(FATAL_ERROR "KESTRUNE_SOURCE_DATE_EPOCH must be whole seconds, not '${KESTRUNE_SOURCE_DATE_EPOCH}'")
    endif()
    set(CMAKE_C_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${KESTRUNE_SOURCE_DATE_EPOCH})
    set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${KESTRUNE_SOURCE_DATE_EPOCH})
endif()

# The shipped program: a version change must rebuild its resource, which tracks no included header
# by itself, and a Release link drops the symbol table and the debug sections the static runtime
# brings along (symbol names would carry build paths, and nothing at run time reads them).
function(kestrune_release_program target rc)
    set_property(SOURCE ${rc} TARGET_DIRECTORY ${target} APPEND PROPERTY OBJECT_DEPENDS ${KESTRUNE_VERSION_HEADER})
    target_link_options(${target} PRIVATE $<$<CONFIG:Release>:-s>)
    # Sections aligned to whole pages in the file, so the loader can map the image rather than
    # read it: the program carries hundreds of megabytes of plates that it touches only in the atlas.
    target_link_options(${target} PRIVATE -Wl,--file-alignment=4096)
endfunction()
