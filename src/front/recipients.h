// recipients.h: the recipient arguments, reduced to the plain addresses they hold.
#pragma once

namespace postlet {

// Appends to arg_list the addresses of each argument, parsed strictly; an argument that does not
// parse goes on unchanged. Out of memory ends the process.
void add_recipients(char** arguments, int count);

}  // namespace postlet
