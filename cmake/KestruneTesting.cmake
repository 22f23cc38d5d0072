# kestrune_add_test(NAME SOURCES ... LIBRARIES ...): one GoogleTest executable, run by CTest under Wine.
function(kestrune_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE kestrune_options ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main)
    add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:Z:${CMAKE_BINARY_DIR}/test-results/${name}.xml)
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "KESTRUNE_SOURCE_DIR=${CMAKE_SOURCE_DIR};KESTRUNE_BUILD_DIR=${CMAKE_BINARY_DIR}")
endfunction()
