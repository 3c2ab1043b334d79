// options.h: postlet's option table, the parse of the command line and the parser's output.
#pragma once

#include "cmdscan/cmdscan.h"

namespace postlet {

// The traditional submission options, in the order of the help listing.
extern const option_desc postlet_options[];

// Fills the settings and leaves argv[0] and the arguments from the first address on,
// null-terminated. Help and version end the process with status 0; option errors and a -f, -r
// or -F value of more than one line with status 2. A sender "<>" becomes "", "<addr>" addr.
void parse_options(int* argc, char** argv);

// The option parser's output callback. Stream 0: the whole text to descriptor 1, short writes
// continued; a failed write ends the process with status 111. Any other stream: one write to
// descriptor 2, its result ignored.
void unbuffered_output(int stream, const char* text);

}  // namespace postlet
