# The build holds the monitor layer below the front ends.
add_test(NAME monitor_layer_holds
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/layer_check.sh ${CMAKE_CXX_COMPILER}
                 ${CMAKE_BINARY_DIR}/layers/monitor)
set_tests_properties(monitor_layer_holds PROPERTIES TIMEOUT 120)
