# The Debian packages, the service unit and the man page, checked on what the
# build made.
add_test(NAME packaging_debs
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_packages.sh ${CMAKE_BINARY_DIR}
                 ${CMAKE_INSTALL_PREFIX} ${PROJECT_VERSION})
set_tests_properties(packaging_debs PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
add_test(NAME packaging_unit
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_unit.sh ${CMAKE_BINARY_DIR}/quorvex.service
                 $<TARGET_FILE:quorvex>)
set_tests_properties(packaging_unit PROPERTIES TIMEOUT 120)
