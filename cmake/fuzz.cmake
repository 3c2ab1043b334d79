# Fuzz targets (libFuzzer), built with POSTLET_FUZZ=ON by clang together with POSTLET_SANITIZE=ON:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DPOSTLET_FUZZ=ON -DPOSTLET_SANITIZE=ON
# Each target gets a CTest regression run of POSTLET_FUZZ_RUNS inputs from its seed corpus;
# longer campaigns run the binaries by hand (build-fuzz/fuzz/NAME_fuzz DIR fuzz/corpus/NAME).
option(POSTLET_FUZZ "Build the libFuzzer targets (needs clang and POSTLET_SANITIZE)" OFF)
set(POSTLET_FUZZ_RUNS 20000 CACHE STRING "Inputs each fuzz target runs in its CTest regression run")

if(NOT POSTLET_FUZZ)
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "POSTLET_FUZZ needs clang (CC=clang CXX=clang++), not ${CMAKE_CXX_COMPILER_ID}")
endif()
if(NOT POSTLET_SANITIZE)
  message(FATAL_ERROR "POSTLET_FUZZ needs POSTLET_SANITIZE=ON")
endif()

# The whole-program target cannot fork: it links a set of the libraries whose message pump,
# compiled with POSTLET_PUMP_IN_PROCESS, runs the same copy into a memory file that becomes
# descriptor 0. The libraries of both sets carry coverage instrumentation.
postlet_libraries(_in_process POSTLET_PUMP_IN_PROCESS=1 ${postlet_definitions})
foreach(dir IN LISTS postlet_subsystems)
  target_compile_options(postlet_${dir} PRIVATE -fsanitize=fuzzer-no-link)
  target_compile_options(postlet_${dir}_in_process PRIVATE -fsanitize=fuzzer-no-link)
endforeach()

enable_testing()
set(fuzz_dir ${CMAKE_SOURCE_DIR}/fuzz)

# postlet_fuzz_target(NAME [SOURCES file...] LIBRARIES lib...). The exit trap comes with every
# target unless the target's sources define _exit themselves.
function(postlet_fuzz_target name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBRARIES")
  if(NOT arg_SOURCES)
    set(arg_SOURCES ${fuzz_dir}/exit_trap.cc)
  endif()
  add_executable(${name}_fuzz ${fuzz_dir}/${name}_fuzz.cc ${arg_SOURCES})
  # Not the sanitizer build's defaults: a fuzz target releases what it uses and checks leaks.
  set_property(TARGET ${name}_fuzz PROPERTY LINK_LIBRARIES "")
  target_include_directories(${name}_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/src ${fuzz_dir})
  target_compile_options(${name}_fuzz PRIVATE -fsanitize=fuzzer ${postlet_test_flags})
  target_link_options(${name}_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name}_fuzz PRIVATE ${arg_LIBRARIES})
  set_target_properties(${name}_fuzz PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  # New inputs land in a scratch directory emptied first; the seed corpus is only read.
  set(scratch ${CMAKE_BINARY_DIR}/fuzz/scratch/${name})
  add_test(NAME Fuzz.${name}
           COMMAND sh -c "rm -rf \"$1\" && mkdir -p \"$1\" && exec \"$2\" -runs=$3 -seed=1 -artifact_prefix=\"$1/\" \"$1\" \"$4\""
                   fuzz ${scratch} $<TARGET_FILE:${name}_fuzz> ${POSTLET_FUZZ_RUNS}
                   ${fuzz_dir}/corpus/${name})
  set_tests_properties(Fuzz.${name} PROPERTIES TIMEOUT 600)
endfunction()

postlet_fuzz_target(address_tokenize LIBRARIES postlet_address)
postlet_fuzz_target(address_parse LIBRARIES postlet_address)
postlet_fuzz_target(header_index LIBRARIES postlet_header)
postlet_fuzz_target(header_capture LIBRARIES postlet_header)
postlet_fuzz_target(cmdscan LIBRARIES postlet_front)
postlet_fuzz_target(get_line LIBRARIES postlet_lib)
# The whole program: its main under another name, with exec, exit and writes recorded, over the
# set whose pump runs in the process.
postlet_fuzz_target(front_end SOURCES ${fuzz_dir}/front_end_main.cc LIBRARIES postlet_front_in_process)
