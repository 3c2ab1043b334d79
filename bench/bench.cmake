# bench.cmake: helpers of the benchmark run by hand with bench/run; built only on request
# (cmake --build BUILD --target postlet-bench), never by default and never by ctest.
# The helpers are compiled alike in every build, so that the comparison does not shift with it.
set(postlet_bench_flags -O2 -Wall -Wextra)

add_executable(postlet-bench-stub EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/stub_inject.c)
add_executable(postlet-bench-wrap EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/wrap.c)
add_executable(postlet-bench-wrap-static EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/wrap.c)
target_link_options(postlet-bench-wrap-static PRIVATE -static)
add_executable(postlet-bench-timer EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/timer.c)
# The strict parse of long recipient lists, timed on its own; bench/run does not use it.
add_executable(postlet-bench-parse EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/parse.cc)
target_compile_options(postlet-bench-parse PRIVATE ${postlet_bench_flags})
target_link_libraries(postlet-bench-parse PRIVATE postlet_address)
add_executable(postlet-bench-peak EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/peak.c)
foreach(helper postlet-bench-stub postlet-bench-wrap postlet-bench-wrap-static postlet-bench-timer
        postlet-bench-peak)
  target_compile_options(${helper} PRIVATE ${postlet_bench_flags})
endforeach()

add_custom_target(postlet-bench
  DEPENDS postlet postlet-sethome postlet-bench-stub postlet-bench-wrap postlet-bench-wrap-static
          postlet-bench-timer postlet-bench-peak)
