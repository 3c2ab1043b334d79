# ship.cmake: tests of what is shipped: install rules, the configure step, postlet-sethome, the
# manual pages, and real mail clients pointed at a home-patched postlet. A script exits with 77
# (SKIP) when a tool it needs is not installed.
set(ship_dir ${CMAKE_CURRENT_LIST_DIR})
set(ship_binaries $<TARGET_FILE:postlet> $<TARGET_FILE:postlet-sethome> $<TARGET_FILE:postlet-stub>)

foreach(client php mutt mailx git)
  add_test(NAME ship_client_${client} COMMAND sh ${ship_dir}/client-${client}.sh ${ship_binaries})
endforeach()
add_test(NAME ship_sethome COMMAND sh ${ship_dir}/sethome.sh ${ship_binaries})
add_test(NAME ship_manual COMMAND sh ${ship_dir}/manual.sh ${ship_binaries} ${CMAKE_SOURCE_DIR})
add_test(NAME ship_install COMMAND sh ${ship_dir}/install.sh ${ship_binaries} ${CMAKE_BINARY_DIR})
add_test(NAME ship_configure COMMAND sh ${ship_dir}/configure.sh ${ship_binaries} ${CMAKE_SOURCE_DIR})
add_test(NAME ship_version
         COMMAND sh ${ship_dir}/version.sh ${ship_binaries} ${CMAKE_SOURCE_DIR} ${PROJECT_VERSION})

set(ship_tests ship_client_php ship_client_mutt ship_client_mailx ship_client_git ship_sethome
    ship_manual ship_install ship_configure ship_version)
set_tests_properties(${ship_tests} PROPERTIES SKIP_RETURN_CODE 77 LABELS ship TIMEOUT 300)
# A fresh configure and build: one of the slow tests that a quick "ctest -LE slow" leaves out.
set_property(TEST ship_configure APPEND PROPERTY LABELS slow)
# install.sh writes the build's install manifests and runs its uninstall target.
set_tests_properties(ship_install PROPERTIES RESOURCE_LOCK postlet_install_manifest)
