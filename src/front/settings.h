// settings.h: what the command line asked for, filled by the option parser.
#pragma once

#include <cstdint>

namespace postlet {

extern const char* operation_mode;     // -b MODE
extern const char* sender_full_name;   // -F NAME
extern const char* envelope_sender;    // -f or -r SENDER
extern int32_t initialize_aliases;     // -I
extern int32_t header_recipients;      // -t
extern int32_t debug_mode;             // --debug
extern int32_t address_debug;          // --address-debug
extern const char* environment_debug;  // --environment-debug PRINTENV
extern const char* log_label;          // -L LABEL

// Sinks of the ignored options; nothing reads them.
extern const char* ignored_text;
extern int32_t ignored_flag;
extern uint64_t ignored_number;

}  // namespace postlet
