// environment.h: lookup in the environment the process inherited.
#pragma once

#include <cstdint>

namespace postlet {

// The value of the first inherited entry that is exactly name followed by '=', or null.
// Reads environ as received; edits meant for an executed program are never seen here.
const char* env_get(const char* name);

// Whether NAME=value, with a value of n bytes, is an entry the kernel starts a program with: it
// refuses any string of the environment longer than 131,072 bytes, its NUL included.
int env_entry_fits(const char* name, uint32_t n);

}  // namespace postlet
