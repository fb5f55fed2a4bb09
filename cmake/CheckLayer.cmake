# Checks the includes of one layer's files (see Layers.cmake); run as a script with RULES and STAMP.
cmake_minimum_required(VERSION 3.25)
include(${RULES})

# What a core file may not include: Qt, and the interfaces of the operating systems.
set(system_interface "^(Q|windows|winsock|ws2|shlobj|unistd|fcntl|poll|signal|dlfcn|pthread|iconv|dirent|mntent|netdb|sys/|arpa/|netinet/|linux/)")

set(faults "")
foreach(file ${FILES})
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line ${lines})
        if(line MATCHES "include[ \t]*\"([^\"]*)\"")
            set(included ${CMAKE_MATCH_1})
            get_filename_component(folder ${included} DIRECTORY)
            get_filename_component(here ${file} DIRECTORY)
            # A bare name is a file of the same folder; a relative path, one of its subfolders.
            if(NOT folder STREQUAL "" AND NOT folder IN_LIST ALLOWED AND NOT EXISTS ${here}/${included})
                string(APPEND faults "${file}: includes ${included}; layer ${LAYER} uses only ${ALLOWED}\n")
            endif()
        elseif(CORE AND line MATCHES "include[ \t]*<([^>]*)>")
            if(CMAKE_MATCH_1 MATCHES "${system_interface}")
                string(APPEND faults "${file}: includes <${CMAKE_MATCH_1}>; the core uses standard C++ only\n")
            endif()
        endif()
    endforeach()
endforeach()

if(faults)
    message(FATAL_ERROR "An include runs against the layers:\n${faults}")
endif()
file(TOUCH ${STAMP})
