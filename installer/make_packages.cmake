# Builds the installer and the portable zip from a built Tessalock.exe (run
# by installer/CMakeLists.txt with cmake -P and the variables it passes).

# "Apps & features" shows the installed size.
file(SIZE "${PROGRAM}" bytes)
math(EXPR size_kb "(${bytes} + 1023) / 1024")

execute_process(
    COMMAND "${MAKENSIS}" -V2 -NOCD
            "-DARCH=${NSIS_TARGET}" "-DPROGRAM=${PROGRAM}" "-DOUTFILE=${SETUP}"
            "-DSOURCE=${SOURCE}" "-DVERSION=${VERSION}" "-DSIZE_KB=${size_kb}"
            "${SOURCE}/installer/tessalock.nsi"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE "${SETUP}")
    message(FATAL_ERROR "makensis failed (${result})")
endif()

# The zip: one folder with the program and a short read-me in Windows line
# endings (Notepad before Windows 10 shows nothing else right).
file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}/${ZIP_FOLDER}")
file(COPY "${PROGRAM}" DESTINATION "${STAGE}/${ZIP_FOLDER}")
configure_file("${SOURCE}/installer/README.txt" "${STAGE}/${ZIP_FOLDER}/README.txt"
               @ONLY NEWLINE_STYLE WIN32)
file(REMOVE "${ZIP}")
execute_process(
    COMMAND "${CMAKE_COMMAND}" -E tar cf "${ZIP}" --format=zip "${ZIP_FOLDER}"
    WORKING_DIRECTORY "${STAGE}"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "zip failed (${result})")
endif()
file(REMOVE_RECURSE "${STAGE}")
