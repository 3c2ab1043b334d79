// exit_trap.cc: linked into every fuzz target so that a library call of _exit is a crash.
//
// The library ends the process with _exit on a malformed table, on a diagnostic, or when a
// parser is told to finish; none of these may happen under the fuzz targets, and a plain _exit
// would end the fuzzer without a report. libFuzzer itself leaves through exit and _Exit.
#include <cstdio>
#include <cstdlib>

extern "C" [[noreturn]] void _exit(int status) {
  std::fprintf(stderr, "fuzz target: the code under test called _exit(%d)\n", status);
  std::abort();
}
