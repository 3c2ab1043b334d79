// diagnostics.h: the one-line diagnostic, the exit that follows it, and the system error texts.
#pragma once

#include <cstdint>

namespace postlet {

// Statuses at or above it carry the fatal prefix; 256 until main sets it to 3.
extern int32_t fatal_threshold;
// Set by die just before the process ends with a fatal status.
extern uint8_t fatal_flag;
extern const char fatal_prefix[];
// The base name of argv[0]; null until main sets it.
extern const char* program_name;

// Writes program_name, ": ", the fatal prefix when due, the pieces, ": " and the error text when
// error is not 0, and a newline to descriptor 2; then _exit(status). In the name and the pieces
// each control byte (below 32, and 127) is written as a backslash and three octal digits.
[[noreturn]] void die(int status, int error, const char* a, const char* b, const char* c,
                      const char* d);
// die(111, 0, "out of memory").
[[noreturn]] void die_nomem();
// Composes and writes the line of die without ending the process.
void warn_message(int error, const char* a, const char* b, const char* c, const char* d);
// A short fixed English text for a system error number; "unknown error" for numbers without one.
const char* error_text(int error);

}  // namespace postlet
