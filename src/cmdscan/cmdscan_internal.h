// cmdscan_internal.h: what the parser and the printers of cmdscan share, not for callers.
#pragma once

#include <cstdint>

#include "cmdscan/cmdscan.h"

namespace postlet {

// The library's own rows, in listing order: version, help, longhelp. Kind CMSC_FLAG.
extern const option_desc cmdscan_builtin_rows[3];

// The row's kind: its type without the flags.
inline uint32_t cmdscan_kind(const option_desc* row) {
  return row->type & ~(CMSC_HIDDEN | CMSC_OPTIONAL | CMSC_ATTACHED);
}

}  // namespace postlet
