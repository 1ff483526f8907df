# Fails when a program imports a function that is not in the reviewed list of
# functions it may import (cmake/windows7-imports.txt), or when that list
# admits a function newer than Windows 7. The program must start on Windows 7,
# and Wine, which runs the tests, has many functions Windows 7 lacks, so the
# tests alone would not notice such an import; a function that only newer
# systems have is loaded with GetProcAddress instead.
#
# cmake -DOBJDUMP=<objdump> -DEXE=<program> -DALLOWED=<list> [-DSTAMP=<file>] -P CheckImports.cmake
cmake_minimum_required(VERSION 3.20)
foreach(var OBJDUMP EXE ALLOWED)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "CheckImports.cmake needs -D${var}=...")
    endif()
endforeach()

# The list: "DLL Function [Version]" per line, # starts a comment. Version
# names the first Windows that has the function when that is newer than XP.
file(STRINGS "${ALLOWED}" list_lines)
set(allowed "")
set(problems "")
foreach(line IN LISTS list_lines)
    string(REGEX REPLACE "#.*" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
        continue()
    endif()
    string(REGEX MATCHALL "[^ \t]+" fields "${line}")
    list(LENGTH fields count)
    list(GET fields 0 dll)
    list(GET fields 1 function)
    string(TOUPPER "${dll}" dll)
    if(count GREATER 2)
        list(GET fields 2 version)
        if(NOT version MATCHES "^(Vista|7)$")
            string(APPEND problems "\n  ${dll} ${function}: listed for Windows ${version}, newer than 7")
        endif()
    endif()
    list(APPEND allowed "${dll}!${function}")
endforeach()

execute_process(COMMAND "${OBJDUMP}" -p "${EXE}" OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed")
endif()
string(REPLACE ";" "," dump "${dump}")
string(REPLACE "\n" ";" dump_lines "${dump}")

# objdump -p prints each import table as "DLL Name: X" followed by lines
# "<vma> <hint> <name>" (or "<vma> <ordinal>" for an import by number).
set(dll "")
set(imports 0)
foreach(line IN LISTS dump_lines)
    if(line MATCHES "^[ \t]*DLL Name: (.+)$")
        string(TOUPPER "${CMAKE_MATCH_1}" dll)
        string(STRIP "${dll}" dll)
    elseif(dll AND line MATCHES "^\t[0-9a-f]+\t +[0-9]+ +([A-Za-z_][A-Za-z0-9_@?$]*)$")
        math(EXPR imports "${imports} + 1")
        if(NOT "${dll}!${CMAKE_MATCH_1}" IN_LIST allowed)
            string(APPEND problems "\n  ${dll} ${CMAKE_MATCH_1}: not in the list")
        endif()
    elseif(dll AND line MATCHES "^\t[0-9a-f]+\t +([0-9]+)$")
        string(APPEND problems "\n  ${dll} ordinal ${CMAKE_MATCH_1}: imported by number")
    elseif(line STREQUAL "")
        set(dll "")
    endif()
endforeach()

if(imports EQUAL 0)
    message(FATAL_ERROR "no imports found in ${EXE}: has objdump's output changed?")
endif()
if(problems)
    message(FATAL_ERROR "${EXE} imports functions that are not known to be on Windows 7:"
                        "${problems}\nAdd a function that Windows 7 has to ${ALLOWED} "
                        "(with the first Windows that has it when that is newer than XP); "
                        "load a newer one with GetProcAddress.")
endif()
if(STAMP)
    file(TOUCH "${STAMP}")
endif()
