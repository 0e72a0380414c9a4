# Installation (GNUInstallDirs) and the two Debian packages, `quillberry` (the tray app and
# its desktop integration) and `quillberry-service` (the reference service and its unit).
# `cpack --preset release` after a build of the `release` preset writes them.
include(GNUInstallDirs)
# The desktop entries, icon and metainfo are named after the app id.
set(ID ${QUILLBERRY_APP_ID})
set(PKG ${CMAKE_CURRENT_BINARY_DIR}/packaging)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(GZIP gzip REQUIRED)

# ---------------------------------------------------------------- generated files
configure_file(packaging/quillberry.desktop.in ${PKG}/${ID}.desktop @ONLY)
configure_file(packaging/quillberry-autostart.desktop.in ${PKG}/autostart/${ID}.desktop @ONLY)
configure_file(packaging/quillberry.metainfo.xml.in ${PKG}/${ID}.metainfo.xml @ONLY)
configure_file(packaging/quillberry-service.service.in ${PKG}/quillberry-service.service @ONLY)
configure_file(packaging/service.conf ${PKG}/service.conf @ONLY)
configure_file(packaging/quillberry-service.1.in ${PKG}/quillberry-service.1 @ONLY)
configure_file(packaging/quillberry.1.in ${PKG}/quillberry.1 @ONLY)
configure_file(packaging/changelog.in ${PKG}/changelog @ONLY)
foreach(script preinst postinst postrm)
  configure_file(packaging/deb/app/maintscript.in ${PKG}/app/${script} @ONLY)
endforeach()

# The application icon in the hicolor theme, drawn by the project's icon script.
set(ICON_SIZES 16 22 24 32 48 64 128 256)
set(ICONS ${PKG}/icons/${ID}.svg)
add_custom_command(OUTPUT ${PKG}/icons/${ID}.svg
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/scripts/make-icon.py --svg ${PKG}/icons/${ID}.svg
  DEPENDS scripts/make-icon.py VERBATIM)
foreach(size ${ICON_SIZES})
  add_custom_command(OUTPUT ${PKG}/icons/${size}/${ID}.png
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PKG}/icons/${size}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/scripts/make-icon.py --size ${size} ${PKG}/icons/${size}/${ID}.png
    DEPENDS scripts/make-icon.py VERBATIM)
  list(APPEND ICONS ${PKG}/icons/${size}/${ID}.png)
  install(FILES ${PKG}/icons/${size}/${ID}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT app)
endforeach()

# Debian wants manual pages and changelogs compressed, reproducibly (no name, no time).
foreach(package quillberry quillberry-service)
  add_custom_command(OUTPUT ${PKG}/doc/${package}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PKG}/doc/${package}
    COMMAND ${GZIP} -9n -c ${PKG}/changelog > ${PKG}/doc/${package}/changelog.gz
    DEPENDS ${PKG}/changelog VERBATIM)
  list(APPEND DOCS ${PKG}/doc/${package}/changelog.gz)
endforeach()
foreach(page quillberry quillberry-service)
  add_custom_command(OUTPUT ${PKG}/${page}.1.gz
    COMMAND ${GZIP} -9n -c ${PKG}/${page}.1 > ${PKG}/${page}.1.gz
    DEPENDS ${PKG}/${page}.1 VERBATIM)
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${ICONS} ${DOCS} ${PKG}/quillberry.1.gz ${PKG}/quillberry-service.1.gz)

# ---------------------------------------------------------------- the app
install(TARGETS quillberry_installed RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT app)
install(TARGETS quillberry_library LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/quillberry COMPONENT app)
install(FILES resources/menubar_icon.png DESTINATION ${CMAKE_INSTALL_DATADIR}/quillberry/resources COMPONENT app)
install(FILES ${PKG}/quillberry.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT app)
install(FILES ${PKG}/${ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT app)
install(FILES ${PKG}/icons/${ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT app)
install(FILES ${PKG}/${ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT app)
install(FILES ${PKG}/autostart/${ID}.desktop DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/autostart COMPONENT app)
install(FILES packaging/copyright ${PKG}/doc/quillberry/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillberry COMPONENT app)
install(FILES packaging/lintian/quillberry DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT app)

# ---------------------------------------------------------------- the service
install(TARGETS quillberry-service RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT service)
install(FILES ${PKG}/quillberry-service.service DESTINATION lib/systemd/system COMPONENT service)
install(FILES ${PKG}/service.conf DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/quillberry COMPONENT service)
install(FILES ${PKG}/quillberry-service.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT service)
install(FILES packaging/copyright ${PKG}/doc/quillberry-service/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillberry-service COMPONENT service)
install(FILES packaging/lintian/quillberry-service DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT service)

# ---------------------------------------------------------------- Debian packages
file(WRITE ${PKG}/app/conffiles "${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/autostart/${ID}.desktop\n")
file(WRITE ${PKG}/service/conffiles "${CMAKE_INSTALL_FULL_SYSCONFDIR}/quillberry/service.conf\n")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillberry)
set(CPACK_PACKAGE_VENDOR "Quillberry")
set(CPACK_PACKAGE_CONTACT "Quillberry developers <dev@quillberry.app>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://quillberry.app")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL app service)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_APP_PACKAGE_NAME quillberry)
# Qt's X11 platform plugin is loaded at run time, so shlibdeps cannot see it.
set(CPACK_DEBIAN_APP_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_APP_PACKAGE_RECOMMENDS "quillberry-service, ca-certificates, qt6-wayland")
set(CPACK_DEBIAN_APP_DESCRIPTION "tray utility that improves a copied prompt with one key
Quillberry lives in the status bar. Copy some text and press Ctrl+U: it sends
the text with your account e-mail to an optimisation service, puts the improved
prompt on the clipboard and shows it in a notice. In automatic mode, selecting
the text is enough. It starts at login; its interface speaks French.")
set(CPACK_DEBIAN_APP_PACKAGE_CONTROL_EXTRA ${PKG}/app/conffiles ${PKG}/app/preinst ${PKG}/app/postinst
                                           ${PKG}/app/postrm)
set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME quillberry-service)
set(CPACK_DEBIAN_SERVICE_PACKAGE_DEPENDS "init-system-helpers (>= 1.52)")
set(CPACK_DEBIAN_SERVICE_DESCRIPTION "reference prompt optimisation service for Quillberry
Answers the Quillberry desktop app on this machine: it rewrites prompts
itself, in French or English, or forwards them to an OpenAI-compatible
endpoint. It runs as a sandboxed systemd service on loopback; the upstream
API key is passed to it as a systemd credential.")
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA
    ${PKG}/service/conffiles ${CMAKE_CURRENT_SOURCE_DIR}/packaging/deb/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/deb/prerm ${CMAKE_CURRENT_SOURCE_DIR}/packaging/deb/postrm)
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_APP_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
