# Checks on the built binary as a whole: its library dependencies and its heap use.
add_test(NAME Checks.LibraryDependencies
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/checks/symbols.sh $<TARGET_FILE:postlet> ${CMAKE_BINARY_DIR})
add_test(NAME Checks.NoHeapInTheCommonCase
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/checks/heap.sh $<TARGET_FILE:postlet>
                 $<TARGET_FILE:postlet-sethome> $<TARGET_FILE:postlet-logtest>)
set_tests_properties(Checks.NoHeapInTheCommonCase PROPERTIES SKIP_RETURN_CODE 77)
# It reads the symbols of every object file: slow, left out by "ctest -LE slow".
set_tests_properties(Checks.LibraryDependencies PROPERTIES LABELS slow)
if(POSTLET_SANITIZE)
  # The sanitizer runtime is linked in and intercepts the heap.
  set_tests_properties(Checks.LibraryDependencies Checks.NoHeapInTheCommonCase PROPERTIES DISABLED TRUE)
endif()
