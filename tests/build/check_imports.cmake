# cmake -DOBJDUMP=<objdump> -DEXE=<program> -P check_imports.cmake
# Fails when the program imports at load time a DLL that is not a KnownDLL: the loader would take
# such a DLL from the program's own folder before start-up restricts the search to System32.
# comctl32 is allowed because the manifest binds it to the side-by-side version 6.

cmake_minimum_required(VERSION 3.25)
set(allowed
    advapi32 clbcatq combase comctl32 comdlg32 coml2 difxapi gdi32 gdi32full gdiplus imagehlp imm32
    kernel32 kernelbase msctf msvcrt normaliz nsi ntdll ole32 oleaut32 psapi rpcrt4 sechost setupapi
    shcore shell32 shlwapi user32 wldap32 ws2_32)

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump could not read ${EXE}: ${err}")
endif()

# Only the load-time table counts; it runs from its heading to the next one.
string(FIND "${dump}" "The Import Tables" start)
if(start EQUAL -1)
    message(FATAL_ERROR "${EXE} has no import table")
endif()
string(SUBSTRING "${dump}" ${start} -1 dump)
string(REGEX REPLACE "\n\nThe [^\n]*.*" "" table "${dump}")

string(REGEX MATCHALL "DLL Name: [^\n]+" entries "${table}")
set(imports)
set(offending)
foreach(entry IN LISTS entries)
    string(REGEX REPLACE "^DLL Name: ([^ \t\r]+).*" "\\1" dll "${entry}")
    list(APPEND imports ${dll})
    string(TOLOWER "${dll}" stem)
    string(REGEX REPLACE "\\.dll$" "" stem "${stem}")
    if(NOT stem IN_LIST allowed)
        list(APPEND offending ${dll})
    endif()
endforeach()

if(NOT imports MATCHES "[Kk][Ee][Rr][Nn][Ee][Ll]32")
    message(FATAL_ERROR "No KERNEL32 import found in ${EXE}: the import table was not read")
endif()
if(offending)
    list(JOIN offending ", " offending)
    message(FATAL_ERROR "Load-time imports outside the KnownDLLs in ${EXE}: ${offending} (delay-load them)")
endif()
list(JOIN imports ", " imports)
message(STATUS "Load-time imports: ${imports}")
