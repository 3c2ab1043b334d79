// qmail_home.h: qmail's home directory, kept in a patchable area of the executable.
#pragma once

#include <cstdint>

namespace postlet {

inline constexpr uint32_t QMAIL_HOME_AREA = 49;
inline constexpr uint32_t QMAIL_HOME_SIGNATURE_LENGTH = 16;

// A fixed signature right before the area lets postlet-sethome find the area in a binary without
// symbols, whatever home it holds. The bytes are written out only where the record is defined.
struct qmail_home_record {
  char signature[QMAIL_HOME_SIGNATURE_LENGTH];
  char area[QMAIL_HOME_AREA];
};

// Read only up to the area's first NUL; never constexpr, so that a patched binary sees the new
// path.
extern const qmail_home_record qmail_home_patch;

inline const char* qmail_home() {
  return qmail_home_patch.area;
}

}  // namespace postlet
