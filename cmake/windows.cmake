# The Windows build (cross-built with mingw-w64, see mingw-w64-x86_64.cmake):
# the same layers with their Windows sides, one static quorvex.exe, and the
# Windows test programs, which ctest runs under Wine.

# -O2 as on Linux: GCC 12 at -O3 warns wrongly (-Wrestrict) inside the
# standard library's string concatenation.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG")

# Static runtime: quorvex.exe needs no DLL of ours (nor of the compiler's).
add_link_options(-static)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# The net layer declares the OpenSSL entry points it binds at run time from
# OpenSSL's own headers. No OpenSSL is built for Windows here, so the headers
# of Debian's libssl-dev serve: they are the same for every platform but for
# the configuration header, whose differences (bignum word size) no call of
# ours touches.
set(QUORVEX_OPENSSL_HEADERS ${CMAKE_BINARY_DIR}/openssl-headers)
file(MAKE_DIRECTORY ${QUORVEX_OPENSSL_HEADERS}/openssl)
file(GLOB openssl_headers /usr/include/openssl/*.h /usr/include/x86_64-linux-gnu/openssl/*.h)
if(NOT openssl_headers)
  message(FATAL_ERROR "OpenSSL's headers are missing: install libssl-dev")
endif()
foreach(header IN LISTS openssl_headers)
  get_filename_component(header_name ${header} NAME)
  file(CREATE_LINK ${header} ${QUORVEX_OPENSSL_HEADERS}/openssl/${header_name} SYMBOLIC)
endforeach()

set(QUORVEX_WINDOWS_LAYERS ${QUORVEX_WINDOWS_LAYERS})
quorvex_layer(platform LIBS Threads::Threads advapi32)
quorvex_layer(net USES platform LIBS ws2_32)
target_include_directories(quorvex_net PUBLIC ${QUORVEX_OPENSSL_HEADERS})
quorvex_layer(mail USES net)
quorvex_layer(smtp USES mail)
# settings.xml through MSXML 6 (COM); Wine provides it.
quorvex_layer(settings USES platform LIBS ole32 oleaut32 shlwapi uuid)
quorvex_layer(process USES platform)
# HTTPS for the OAuth endpoints through the system's WinHTTP.
quorvex_layer(web USES platform LIBS winhttp)

enable_testing()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Every test program runs under Wine in a prefix of the build's own, never the
# user's: one test makes it, the others need it, and the last ends its server.
set(QUORVEX_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(QUORVEX_WINE_RUN ${CMAKE_SOURCE_DIR}/tests/windows/run_under_wine.sh)
add_test(NAME windows_prefix COMMAND ${QUORVEX_WINE_RUN} ${QUORVEX_WINE_PREFIX} --prepare)
add_test(NAME windows_prefix_end COMMAND ${QUORVEX_WINE_RUN} ${QUORVEX_WINE_PREFIX} --end)
set_tests_properties(windows_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300 SKIP_RETURN_CODE 77)
set_tests_properties(windows_prefix_end PROPERTIES FIXTURES_CLEANUP wine SKIP_RETURN_CODE 77)

# windows_test(LAYER FILE...): the test program of LAYER from those of its
# tests that are not tied to Linux; tests/LAYER/*_win_test.cpp join them.
# A test program that needs a peer names the script that starts it.
function(quorvex_windows_test layer)
  cmake_parse_arguments(ARG "" "PEER" "" ${ARGN})
  set(sources)
  foreach(name IN LISTS ARG_UNPARSED_ARGUMENTS)
    list(APPEND sources ${CMAKE_SOURCE_DIR}/tests/${layer}/${name}.cpp)
  endforeach()
  file(GLOB own CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${layer}/*_win_test.cpp)
  list(APPEND sources ${own})
  add_executable(test_${layer} ${sources})
  target_link_libraries(test_${layer} PRIVATE quorvex_${layer} gtest_main gmock)
  target_include_directories(test_${layer} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(test_${layer} PRIVATE
    QUORVEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" QUORVEX_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(ARG_PEER)
    add_test(NAME windows.${layer}
             COMMAND ${CMAKE_SOURCE_DIR}/tests/windows/${ARG_PEER} ${QUORVEX_WINE_PREFIX}
                     ${CMAKE_BINARY_DIR}/peer-${layer} $<TARGET_FILE:test_${layer}>)
  else()
    add_test(NAME windows.${layer}
             COMMAND ${QUORVEX_WINE_RUN} ${QUORVEX_WINE_PREFIX} $<TARGET_FILE:test_${layer}>)
  endif()
  set_tests_properties(windows.${layer} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300
                                                   SKIP_RETURN_CODE 77)
endfunction()

quorvex_windows_test(platform text_test text_encoding_test)
quorvex_windows_test(net buffer_test line_io_test reply_test)
quorvex_windows_test(mail body_encoders_test email_address_test header_list_test message_test)
quorvex_windows_test(smtp reply_smtp_test PEER with_smtp_peer.sh)
quorvex_windows_test(settings value_text_test settings_file_test)
set_tests_properties(windows.platform windows.settings PROPERTIES RESOURCE_LOCK wine_registry)
# The console child's tests start this stand-in for openvpn.exe.
add_executable(fake_openvpn ${CMAKE_SOURCE_DIR}/tests/windows/fake_openvpn.cpp)
quorvex_windows_test(process split_command_line_test)
add_dependencies(test_process fake_openvpn)
quorvex_windows_test(web web_test)
target_link_libraries(test_web PRIVATE ws2_32)  # the test's own HTTP peer
