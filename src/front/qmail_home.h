// qmail_home.h: qmail's home directory, kept in a patchable area of the executable.
#pragma once

#include <cstdint>

namespace postlet {

inline constexpr uint32_t QMAIL_HOME_AREA = 49;
inline constexpr uint32_t QMAIL_HOME_SIGNATURE_LENGTH = 16;

// A fixed signature right before the area lets postlet-sethome find the area in a binary without
// symbols, whatever home it holds. postlet holds these bytes only in its record: the constant is
// read at compile time there, and at run time by postlet-sethome alone.
inline constexpr char QMAIL_HOME_SIGNATURE[QMAIL_HOME_SIGNATURE_LENGTH] = {
    '\x7f', 'p', 'o', 's', 't', 'l', 'e', 't', '-', 'h', 'o', 'm', 'e', '\x7f', 'v', '1'};

struct qmail_home_record {
  char signature[QMAIL_HOME_SIGNATURE_LENGTH];
  char area[QMAIL_HOME_AREA];
};

// The record of the signature and the given 49 bytes, made by the compiler.
constexpr qmail_home_record qmail_home_record_of(const char (&area)[QMAIL_HOME_AREA]) {
  qmail_home_record record = {};
  for (uint32_t i = 0; i < QMAIL_HOME_SIGNATURE_LENGTH; ++i)
    record.signature[i] = QMAIL_HOME_SIGNATURE[i];
  for (uint32_t i = 0; i < QMAIL_HOME_AREA; ++i)
    record.area[i] = area[i];
  return record;
}

// Read only up to the area's first NUL; never constexpr, so that a patched binary sees the new
// path.
extern const qmail_home_record qmail_home_patch;

inline const char* qmail_home() {
  return qmail_home_patch.area;
}

}  // namespace postlet
