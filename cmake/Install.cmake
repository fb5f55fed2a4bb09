# Installation layout and the two Debian packages built from it: tarvellin (the program, without Qt: the C and
# C++ runtimes only, for servers) and tarvellin-desktop (the desktop module and what a desktop session shows).
include(GNUInstallDirs)

set(TARVELLIN_DEB_RELEASE 1)

install(TARGETS tarvellin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tarvellin)
install(PROGRAMS packaging/tarvellin-start DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tarvellin)
install(FILES packaging/tarvellin.service DESTINATION lib/systemd/user COMPONENT tarvellin)
# Alert rules for Prometheus users to copy into their rule files.
install(FILES packaging/prometheus/tarvellin-rules.yml DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvellin/prometheus
        COMPONENT tarvellin)

# The desktop module the program loads when a display may exist (its folder is compiled into the program).
install(TARGETS tarvellin_desktop_module
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/tarvellin
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
    COMPONENT desktop)
install(FILES packaging/tarvellin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT desktop)
install(FILES packaging/tarvellin-autostart.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvellin
    COMPONENT desktop)
install(FILES packaging/io.github.tarvellin.tarvellin.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
    COMPONENT desktop)

# Man pages and changelog are compressed as Debian keeps them, at configure time, so an install needs nothing
# that only some build targets produce.
set(compressed_dir ${CMAKE_BINARY_DIR}/compressed)
file(MAKE_DIRECTORY ${compressed_dir})
function(tarvellin_gzip source output)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    execute_process(COMMAND gzip -9n -c ${source} OUTPUT_FILE ${output} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "gzip ${source} failed")
    endif()
endfunction()
tarvellin_gzip(${PROJECT_SOURCE_DIR}/docs/tarvellin.1 ${compressed_dir}/tarvellin.1.gz)
tarvellin_gzip(${PROJECT_SOURCE_DIR}/docs/tarvellin-start.1 ${compressed_dir}/tarvellin-start.1.gz)
tarvellin_gzip(${PROJECT_SOURCE_DIR}/packaging/debian/changelog ${compressed_dir}/changelog.Debian.gz)
install(FILES ${compressed_dir}/tarvellin.1.gz ${compressed_dir}/tarvellin-start.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tarvellin)

# Each package carries the copyright, the changelog and the reasons for its lintian overrides.
set(components tarvellin desktop)
set(packages tarvellin tarvellin-desktop)
foreach(component package IN ZIP_LISTS components packages)
    install(FILES packaging/debian/copyright ${compressed_dir}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
    install(FILES packaging/debian/${package}.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${package} COMPONENT ${component})
endforeach()

# The application icon in the icon theme's sizes, drawn by the program's own painter at build time. The
# module depends on it, so building the program (which builds the module) draws it.
set(icon_dir ${CMAKE_BINARY_DIR}/icons)
set(icon_sizes 16 22 24 32 48 64 128 256)
set(icon_files)
foreach(size ${icon_sizes})
    list(APPEND icon_files ${icon_dir}/${size}x${size}/apps/tarvellin.png)
endforeach()
add_custom_command(OUTPUT ${icon_files}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:tarvellin_icon_export> ${icon_dir} ${icon_sizes}
    DEPENDS tarvellin_icon_export
    COMMENT "Drawing the application icon")
add_custom_target(tarvellin_icons ALL DEPENDS ${icon_files})
add_dependencies(tarvellin_desktop_module tarvellin_icons)
install(DIRECTORY ${icon_dir}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor COMPONENT desktop)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvellin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "tarvellin developers <tarvellin@users.noreply.github.com>")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tarvellin)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/StripComments.cmake)
set(CPACK_COMPONENTS_ALL tarvellin desktop)
set(CPACK_COMPONENT_DESKTOP_DEPENDS tarvellin)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TARVELLIN_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SOURCE tarvellin)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_TARVELLIN_PACKAGE_NAME tarvellin)
set(CPACK_DEBIAN_TARVELLIN_DESCRIPTION
    "free disk capacity monitor publishing status files and an HTTP page
tarvellin watches the free capacity of a main drive and of up to nine
other drives. It publishes it as empty status files whose name is the
free-capacity text, and on a TCP port that answers plain HTTP requests
with a one-line status page.
.
This package holds the program, which runs headless on servers with the
C and C++ runtimes only, the systemd user unit and tarvellin-start.
Install tarvellin-desktop for the tray icon and the settings dialogs.")

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME tarvellin-desktop)
# The desktop module draws Japanese texts and needs a display plugin; neither is a linked library.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-ipafont-gothic")
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION
    "tray icon and dialogs for the tarvellin disk capacity monitor
tarvellin watches the free capacity of disk drives and publishes it as
status files and on a TCP port.
.
This package adds the desktop side: the tray icon with its fill levels
and tooltip, the settings, drive and network dialogs, the low-capacity
warning box, a desktop entry, an autostart entry, icons and AppStream
metadata.")

include(CPack)
