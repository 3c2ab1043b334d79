# downstream.cmake: end-to-end tests through qmail's real qmail-inject and qmail-smtpd, built once
# per build tree from a source fixture named by POSTLET_DOWNSTREAM_DIR into a qmail home of their
# own. All carry the label "downstream". The fixture is named explicitly or not at all: the build
# never looks outside its source tree for it (a package build leaves it unset). Unset, or without a
# C compiler, the tests report themselves skipped with the reason.
set(POSTLET_DOWNSTREAM_DIR "" CACHE PATH
    "Source fixture of qmail-inject and qmail-smtpd for the end-to-end tests (none by default)")
set(POSTLET_DOWNSTREAM_CC "cc" CACHE STRING "C compiler that builds the downstream programs")
if(POSTLET_DOWNSTREAM_DIR STREQUAL "")
  message(STATUS "End-to-end tests skipped: configure with -DPOSTLET_DOWNSTREAM_DIR=DIR, the qmail sources")
elseif(NOT EXISTS ${POSTLET_DOWNSTREAM_DIR}/build.sh)
  message(STATUS "End-to-end tests skipped: no qmail sources at ${POSTLET_DOWNSTREAM_DIR} (no build.sh)")
endif()

set(downstream_dir ${CMAKE_CURRENT_LIST_DIR})
set(downstream_out ${CMAKE_CURRENT_BINARY_DIR}/downstream)
set(downstream_sources "")
if(NOT POSTLET_DOWNSTREAM_DIR STREQUAL "")
  file(GLOB downstream_sources CONFIGURE_DEPENDS ${POSTLET_DOWNSTREAM_DIR}/build.sh
       ${POSTLET_DOWNSTREAM_DIR}/*.c ${POSTLET_DOWNSTREAM_DIR}/src/*)
endif()
# Rewritten only when a setting changes, so that a new folder or compiler rebuilds the programs.
file(CONFIGURE OUTPUT ${downstream_out}.settings
     CONTENT "${POSTLET_DOWNSTREAM_DIR}\n${POSTLET_DOWNSTREAM_CC}\n")
add_custom_command(
  OUTPUT ${downstream_out}/ready
  COMMAND sh ${downstream_dir}/setup.sh ${downstream_out} ${POSTLET_DOWNSTREAM_CC}
          ${POSTLET_DOWNSTREAM_DIR}
  DEPENDS ${downstream_dir}/setup.sh ${downstream_out}.settings ${downstream_sources}
  COMMENT "Building qmail-inject and qmail-smtpd for the end-to-end tests"
  VERBATIM)
add_custom_target(postlet-downstream ALL DEPENDS ${downstream_out}/ready)

add_executable(downstream_test blackbox/driver.cc ${downstream_dir}/downstream.cc
               ${downstream_dir}/mail_test.cc ${downstream_dir}/smtp_test.cc
               ${downstream_dir}/differential_test.cc)
target_compile_options(downstream_test PRIVATE ${postlet_test_flags})
target_compile_definitions(downstream_test PRIVATE ${blackbox_paths}
                           DOWNSTREAM_OUT="${downstream_out}")
target_include_directories(downstream_test PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(downstream_test PRIVATE GTest::gtest_main)
add_dependencies(downstream_test postlet postlet-sethome postlet-stub postlet-logtest
                 postlet-downstream)
gtest_discover_tests(downstream_test DISCOVERY_TIMEOUT 60 PROPERTIES LABELS downstream)

# The differential test at length: ten thousand generated headers, a few minutes. tests/run-all
# runs it once, in its first build; `ctest -L differential` runs it alone.
add_test(NAME downstream_differential_long
         COMMAND downstream_test --gtest_filter=Downstream.DashTRefusesExactlyWhatQmailInjectQueuesForNoOne)
set_tests_properties(downstream_differential_long PROPERTIES
                     ENVIRONMENT POSTLET_DIFFERENTIAL_COUNT=10000
                     LABELS "downstream;differential;slow" TIMEOUT 3600)

# The mail clients of the shipped tests, once each against the real programs.
foreach(client php mutt mailx git)
  add_test(NAME downstream_client_${client}
           COMMAND sh ${downstream_dir}/client.sh ${client} $<TARGET_FILE:postlet>
                   $<TARGET_FILE:postlet-sethome> ${downstream_out})
  set_tests_properties(downstream_client_${client} PROPERTIES
                       SKIP_RETURN_CODE 77 LABELS downstream TIMEOUT 300)
endforeach()
