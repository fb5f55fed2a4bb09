# Checks, on the Linux side, the names that the Windows test left in FOLDER: Wine stores a Shift-JIS name
# as the UTF-8 of the same characters.
# cmake -DFOLDER=<folder> -P CheckUnixNames.cmake
if(NOT IS_DIRECTORY "${FOLDER}")
    message("SKIPPED: no folder ${FOLDER}; the Windows side did not run in code page 932")
    return()
endif()
file(GLOB entries RELATIVE "${FOLDER}" "${FOLDER}/*")
set(expectedFolder "状態")
set(expectedFile "空容量99 MByte")
if(NOT entries STREQUAL expectedFolder)
    message(FATAL_ERROR "expected the folder '${expectedFolder}' in ${FOLDER}, found '${entries}'")
endif()
file(GLOB files RELATIVE "${FOLDER}/${expectedFolder}" "${FOLDER}/${expectedFolder}/*")
if(NOT files STREQUAL expectedFile)
    message(FATAL_ERROR "expected the status file '${expectedFile}', found '${files}'")
endif()
string(HEX "${files}" bytes)
message("status file on disk: ${FOLDER}/${expectedFolder}/${files} (bytes ${bytes})")
