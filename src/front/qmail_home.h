// qmail_home.h: qmail's home directory, kept in a patchable area of the executable.
#pragma once

#include <cstdint>

namespace postlet {

inline constexpr uint32_t QMAIL_HOME_AREA = 49;

// Read only up to its first NUL; never constexpr, so that a patched binary sees the new path.
extern const char qmail_home[QMAIL_HOME_AREA];

}  // namespace postlet
