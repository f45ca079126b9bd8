# The service unit as built, in every build.
add_test(NAME packaging_unit
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_unit.sh ${CMAKE_BINARY_DIR}/quorvex.service
                 $<TARGET_FILE:quorvex>)
set_tests_properties(packaging_unit PROPERTIES TIMEOUT 120)

# The Debian packages, built with dpkg-buildpackage and checked, then
# installed into a Debian 12 root booted with systemd: in the plain build
# only, as they build the program again in a copy of their own.
if(NOT QUORVEX_SANITIZE)
  set(quorvex_debs ${CMAKE_BINARY_DIR}/packages-test)
  add_test(NAME packaging_debs
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_packages.sh ${CMAKE_BINARY_DIR}/debian
                   ${quorvex_debs} ${PROJECT_VERSION})
  set_tests_properties(packaging_debs PROPERTIES TIMEOUT 1500 RUN_SERIAL TRUE
                                                 FIXTURES_SETUP quorvex_debs)
endif()
if(NOT QUORVEX_SANITIZE)
  add_test(NAME packaging_system
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_system.sh ${quorvex_debs} ${PROJECT_VERSION}
                   ${CMAKE_BINARY_DIR}/system-test)
  set_tests_properties(packaging_system PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE
                                                   FIXTURES_REQUIRED quorvex_debs)
endif()
