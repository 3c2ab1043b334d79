// cmdscan_internal.h: what the parser and the printers of cmdscan share, not for callers.
#pragma once

#include "cmdscan/cmdscan.h"

namespace postlet {

// The library's own rows, in listing order: version, help, longhelp. Kind CMSC_FLAG.
extern const option_desc cmdscan_builtin_rows[3];

}  // namespace postlet
