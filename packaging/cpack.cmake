# Two Debian packages: quorvex (the command-line monitor, the service, the man
# page and the manual; no Qt) and quorvex-desktop (the window), which needs it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quorvex maintainers <maintainers@quorvex.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "OpenVPN server monitor")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL server desktop)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_STRIP_FILES ON)
# Library dependencies come from the binaries (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DESKTOP_DEPENDS server)

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME quorvex)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
set(CPACK_COMPONENT_SERVER_DESCRIPTION
    "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}\n Runs the OpenVPN client against each client configuration, reports which\n servers accept a connection and e-mails an alert when one is down; headless,\n from cron or as a systemd service.")
# Two run-time needs the binaries cannot show: the openvpn program it runs,
# and libssl, loaded when a mail goes out over TLS. The latter's package is
# the one that holds the libssl this was built against.
set(quorvex_ssl_package)
find_program(DPKG_QUERY dpkg-query)
if(DPKG_QUERY AND OPENSSL_SSL_LIBRARY)
  file(REAL_PATH ${OPENSSL_SSL_LIBRARY} quorvex_ssl_file)
  execute_process(COMMAND ${DPKG_QUERY} -S ${quorvex_ssl_file}
                  OUTPUT_VARIABLE quorvex_ssl_owner ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(REGEX REPLACE "^([^:]+).*" "\\1" quorvex_ssl_package "${quorvex_ssl_owner}")
endif()
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "openvpn")
if(quorvex_ssl_package)
  string(APPEND CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS ", ${quorvex_ssl_package}")
endif()
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/postinst)

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME quorvex-desktop)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION net)
set(CPACK_COMPONENT_DESKTOP_DESCRIPTION
    "${CPACK_PACKAGE_DESCRIPTION_SUMMARY} (window)\n The window of the monitor: the list of servers with their results, the\n settings and the alert mail, with a menu entry.")

include(CPack)
