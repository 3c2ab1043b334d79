// options.h: postlet's option table and the parse of the command line.
#pragma once

#include "cmdscan/cmdscan.h"

namespace postlet {

// The traditional submission options, in the order of the help listing.
extern const option_desc postlet_options[];

// Fills the settings and leaves argv[0] and the non-option arguments, null-terminated; help,
// version and option errors end the process (status 0 or 2).
void parse_options(int* argc, char** argv);

}  // namespace postlet
