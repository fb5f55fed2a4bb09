# Installation layout and the Debian package.
include(GNUInstallDirs)

if(TARGET tarvellin)
    install(TARGETS tarvellin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# The desktop module the program loads when a display may exist (its folder is compiled into the program).
if(TARGET tarvellin_desktop_module)
    install(TARGETS tarvellin_desktop_module LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/tarvellin)
endif()
install(PROGRAMS packaging/tarvellin-start DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/tarvellin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/tarvellin-autostart.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvellin)
install(FILES packaging/tarvellin.service DESTINATION lib/systemd/user)
# The man page, compressed as Debian keeps man pages.
find_program(GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/tarvellin.1.gz
    COMMAND ${GZIP} -9n -c ${PROJECT_SOURCE_DIR}/docs/tarvellin.1 > ${CMAKE_BINARY_DIR}/tarvellin.1.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/tarvellin.1
    COMMENT "Compressing the man page")
add_custom_target(tarvellin_man ALL DEPENDS ${CMAKE_BINARY_DIR}/tarvellin.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/tarvellin.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The application icon in the icon theme's sizes, drawn by the program's own painter at build time.
if(TARGET tarvellin_icon_export)
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
    install(DIRECTORY ${icon_dir}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvellin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "tarvellin developers <tarvellin@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Watches the free capacity of disk drives and publishes it")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A small agent that shows the free capacity of disk drives as a tray icon, publishes it as status files\n whose name is the free-capacity text, and answers plain HTTP requests with a one-line status page.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6network6 (>= 6.4), qt6-qpa-plugins, fonts-ipafont-gothic, libc6, libstdc++6")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
include(CPack)
