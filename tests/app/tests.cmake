# The table test reads the man page made from --help.
if(TARGET manpage)
  add_dependencies(test_app manpage)
endif()
# End-to-end cases of the headless front end, run against the built program.
add_test(NAME app_headless_cli
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/headless_cli.sh $<TARGET_FILE:quorvex>)
add_test(NAME app_e2e_openvpn
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/openvpn_headless.sh $<TARGET_FILE:quorvex>)
# The OpenVPN servers need a tun device and the loopback ports of the run.
set_tests_properties(app_e2e_openvpn PROPERTIES TIMEOUT 240 RUN_SERIAL TRUE)
set_tests_properties(app_headless_cli PROPERTIES TIMEOUT 120)
# The command-line paths load no Qt, X11 or OpenGL library.
add_test(NAME app_no_qt COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/no_qt.sh $<TARGET_FILE:quorvex>)
set_tests_properties(app_no_qt PROPERTIES TIMEOUT 180)
# The alert mail through a real SMTP server for a real OpenVPN server.
add_test(NAME app_e2e_alert_mail
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/alert_mail.sh $<TARGET_FILE:quorvex>)
set_tests_properties(app_e2e_alert_mail PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
# Runs as cron starts them, with the outage state kept between them.
add_test(NAME app_e2e_cron_outage
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/cron_outage.sh $<TARGET_FILE:quorvex>)
set_tests_properties(app_e2e_cron_outage PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
# Many servers side by side (--jobs) against real OpenVPN and SMTP servers.
add_test(NAME app_e2e_jobs COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/jobs.sh $<TARGET_FILE:quorvex>)
set_tests_properties(app_e2e_jobs PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
# Many tests side by side against one real OpenVPN server, run after run.
add_test(NAME app_e2e_jobs_one_server
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/jobs_one_server.sh $<TARGET_FILE:quorvex>)
set_tests_properties(app_e2e_jobs_one_server PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
# Why each server failed, against real OpenVPN peers that fail in six ways.
add_test(NAME app_e2e_failure_reasons
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/failure_reasons.sh $<TARGET_FILE:quorvex>)
set_tests_properties(app_e2e_failure_reasons PROPERTIES TIMEOUT 180 RUN_SERIAL TRUE)
# An outage and its recovery reach a webhook and a command, once each.
add_test(NAME app_e2e_notifications
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/notifications.sh $<TARGET_FILE:quorvex>)
set_tests_properties(app_e2e_notifications PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
