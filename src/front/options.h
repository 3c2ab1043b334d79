// options.h: postlet's option table and the parse of the command line.
#pragma once

#include "cmdscan/cmdscan.h"

namespace postlet {

// The traditional submission options, in the order of the help listing.
extern const option_desc postlet_options[];

// Fills the settings and leaves argv[0] and the arguments from the first address on,
// null-terminated. Help and version end the process with status 0; option errors and a -f, -r
// or -F value of more than one line with status 2. A sender "<>" becomes "", "<addr>" addr.
void parse_options(int* argc, char** argv);

}  // namespace postlet
