# Checks the portable zip: exactly FOLDER/Tessalock.exe (the built program,
# byte for byte) and FOLDER/README.txt (Windows line endings). Unpacks into a
# fresh temporary folder that it removes again.
cmake_policy(SET CMP0007 NEW)
string(RANDOM LENGTH 12 tag)
set(work "$ENV{TMPDIR}")
if(NOT work)
    set(work "/tmp")
endif()
set(work "${work}/tessalock-zip-check-${tag}")
file(MAKE_DIRECTORY "${work}")

execute_process(COMMAND "${CMAKE_COMMAND}" -E tar tf "${ZIP}"
                OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE_RECURSE "${work}")
    message(FATAL_ERROR "cannot list ${ZIP}")
endif()
string(REPLACE "\n" ";" entries "${listing}")
list(FILTER entries EXCLUDE REGEX "^$")
list(FILTER entries EXCLUDE REGEX "/$")
list(SORT entries)
set(expected "${FOLDER}/README.txt;${FOLDER}/Tessalock.exe")
set(problems "")
if(NOT entries STREQUAL expected)
    string(APPEND problems "contents are [${entries}], expected [${expected}]\n")
endif()

execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xf "${ZIP}" WORKING_DIRECTORY "${work}"
                RESULT_VARIABLE result)
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${PROGRAM}"
                        "${work}/${FOLDER}/Tessalock.exe"
                RESULT_VARIABLE different)
if(NOT result EQUAL 0 OR different)
    string(APPEND problems "Tessalock.exe is not the built program\n")
endif()
# Bytes as "xx " pairs (a text read would drop the carriage returns).
file(READ "${work}/${FOLDER}/README.txt" readme HEX)
string(REGEX REPLACE "(..)" "\\1 " bytes "${readme}")
string(REPLACE "0d 0a " "" bare "${bytes}")
if(bytes STREQUAL bare OR bare MATCHES "(^| )(0a|0d) ")
    string(APPEND problems "README.txt does not have Windows line endings\n")
endif()
file(REMOVE_RECURSE "${work}")
if(problems)
    message(FATAL_ERROR "${problems}")
endif()
message(STATUS "portable zip: ${entries}")
