# Folders are layers. Each layer is one library built from one folder under src/; it names the layers it uses,
# and its files may include headers only from its own folder and from the layers it uses (and what those use).
# A core layer also includes no Qt and no interface of an operating system. The build checks every file of a
# layer before it compiles the layer, so an include that runs the wrong way fails the build.

set(TARVELLIN_SOURCE_ROOT ${PROJECT_SOURCE_DIR}/src)
set(TARVELLIN_LAYER_CHECK ${CMAKE_CURRENT_LIST_DIR}/CheckLayer.cmake)

# tarvellin_layer_check(<target> FOLDER <folder under src> [CORE] [USES <layer targets>...])
# Records the folder as the target's layer and checks the folder's files against the layers it uses. With TREE
# the layer is the folder with its subfolders (a face), whose files may include one another.
function(tarvellin_layer_check target)
    cmake_parse_arguments(ARG "CORE;TREE" "FOLDER" "USES" ${ARGN})
    set(allowed ${ARG_FOLDER})
    foreach(used ${ARG_USES})
        get_property(folders GLOBAL PROPERTY tarvellin_layer_folders_${used})
        list(APPEND allowed ${folders})
    endforeach()
    list(REMOVE_DUPLICATES allowed)
    get_property(known GLOBAL PROPERTY tarvellin_layer_folders_${target} SET)
    if(NOT known)
        set_property(GLOBAL PROPERTY tarvellin_layer_folders_${target} ${allowed})
    endif()
    string(MAKE_C_IDENTIFIER ${ARG_FOLDER} check)

    if(ARG_TREE)
        set(glob GLOB_RECURSE)
    else()
        set(glob GLOB)
    endif()
    file(${glob} files CONFIGURE_DEPENDS ${TARVELLIN_SOURCE_ROOT}/${ARG_FOLDER}/*.h
         ${TARVELLIN_SOURCE_ROOT}/${ARG_FOLDER}/*.cpp)
    set(rules ${CMAKE_CURRENT_BINARY_DIR}/${check}.layer.cmake)
    # Rewritten only when it changes, so a new configure does not check every layer again.
    file(WRITE ${rules}.new "set(LAYER ${ARG_FOLDER})\nset(CORE ${ARG_CORE})\nset(TREE ${ARG_TREE})\nset(ALLOWED \"${allowed}\")\n"
                            "set(FILES \"${files}\")\n")
    file(COPY_FILE ${rules}.new ${rules} ONLY_IF_DIFFERENT)
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${check}.layer.stamp)
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -DRULES=${rules} -DSTAMP=${stamp} -P ${TARVELLIN_LAYER_CHECK}
        DEPENDS ${files} ${rules} ${TARVELLIN_LAYER_CHECK}
        COMMENT "Checking the includes of layer ${ARG_FOLDER}" VERBATIM)
    add_custom_target(layer_${check} DEPENDS ${stamp})
    if(TARGET ${target})
        add_dependencies(${target} layer_${check})
    endif()
endfunction()

# tarvellin_layer(<target> FOLDER <folder> [CORE] [USES <layer targets>...] [LIBS <other libraries>...]
#                 SOURCES <files>...)
# One static library of a layer, strict warnings, linked to the layers it uses.
function(tarvellin_layer target)
    cmake_parse_arguments(ARG "CORE" "FOLDER" "USES;LIBS;SOURCES" ${ARGN})
    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC ${TARVELLIN_SOURCE_ROOT})
    target_link_libraries(${target} PUBLIC ${ARG_USES} ${ARG_LIBS})
    tarvellin_strict(${target})
    if(ARG_CORE)
        set(core CORE)
    endif()
    tarvellin_layer_check(${target} FOLDER ${ARG_FOLDER} ${core} USES ${ARG_USES})
endfunction()
