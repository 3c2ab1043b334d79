# Hardening: the allocation-failure build of postlet for the black-box walk over every
# allocation, and valgrind's memcheck over the black-box cases (POSTLET_VALGRIND=ON).
option(POSTLET_VALGRIND "Run the black-box cases under valgrind's memcheck as a CTest test" OFF)

# postlet with POSTLET_ALLOC_FAILURE: its main and a whole set of the libraries compiled with the
# switch, whose pool fails on request.
postlet_libraries(_allocfail POSTLET_ALLOC_FAILURE=1 ${postlet_definitions})
add_executable(postlet-allocfail ${CMAKE_SOURCE_DIR}/src/front/main.cc)
target_compile_options(postlet-allocfail PRIVATE ${postlet_product_flags})
target_compile_definitions(postlet-allocfail PRIVATE POSTLET_ALLOC_FAILURE=1)
target_link_libraries(postlet-allocfail PRIVATE postlet_front_allocfail)
postlet_link_c_only(postlet-allocfail)

target_compile_definitions(blackbox_test PRIVATE
                           POSTLET_ALLOCFAIL_BINARY="$<TARGET_FILE:postlet-allocfail>")
add_dependencies(blackbox_test postlet-allocfail)

if(POSTLET_VALGRIND)
  find_program(VALGRIND valgrind REQUIRED)
  add_test(NAME Hardening.Memcheck
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/memcheck.sh ${VALGRIND} $<TARGET_FILE:blackbox_test>)
  set_tests_properties(Hardening.Memcheck PROPERTIES TIMEOUT 3000)
endif()

add_test(NAME Hardening.HomeAreaOfTheLongestHomes
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/home_area.sh ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}
                 ${CMAKE_CXX_COMPILER})
# Two fresh configures: slow, left out by "ctest -LE slow" (tests/run-all runs everything).
set_tests_properties(Hardening.HomeAreaOfTheLongestHomes PROPERTIES LABELS slow)

# The address extraction tests again, linked to the allocation-failure set, so that the
# out-of-memory result of the parser is exercised rather than skipped.
add_executable(address_test_allocfail ${CMAKE_SOURCE_DIR}/src/address/address_parse_test.cc)
target_compile_options(address_test_allocfail PRIVATE ${postlet_test_flags})
target_include_directories(address_test_allocfail PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(address_test_allocfail PRIVATE postlet_address_allocfail GTest::gtest_main)
gtest_discover_tests(address_test_allocfail TEST_PREFIX "AllocationFailure." DISCOVERY_TIMEOUT 60)

# The static binary, run as a user /etc/passwd lacks: postlet itself in a POSTLET_STATIC build,
# else its main over a set of the libraries compiled as POSTLET_STATIC compiles them, linked as
# POSTLET_STATIC links postlet. The sanitizers' runtime has no static form.
if(NOT POSTLET_SANITIZE)
  if(POSTLET_STATIC)
    set(static_postlet postlet)
  else()
    set(static_postlet postlet-static)
    postlet_libraries(_static POSTLET_STATIC=1)
    add_executable(postlet-static ${CMAKE_SOURCE_DIR}/src/front/main.cc)
    target_compile_options(postlet-static PRIVATE ${postlet_product_flags})
    target_link_libraries(postlet-static PRIVATE postlet_front_static)
    postlet_link_static(postlet-static)
  endif()
  add_test(NAME Hardening.StaticBuild
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/static.sh $<TARGET_FILE:${static_postlet}>
                   $<TARGET_FILE:postlet-sethome> ${CMAKE_BINARY_DIR})
  set_tests_properties(Hardening.StaticBuild PROPERTIES SKIP_RETURN_CODE 77 LABELS slow)
endif()
