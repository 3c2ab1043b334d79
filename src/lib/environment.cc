// environment.cc: lookup in the inherited environment.
#include "lib/environment.h"

#include "lib/text.h"

extern "C" char** environ;

namespace postlet {

const char* env_get(const char* name) {
  if (!environ) return nullptr;
  for (char** entry = environ; *entry; ++entry) {
    const char* e = *entry;
    const char* n = name;
    while (*n && *e == *n) {
      ++e;
      ++n;
    }
    if (!*n && *e == '=') return e + 1;
  }
  return nullptr;
}

int env_entry_fits(const char* name, uint32_t n) {
  constexpr uint32_t LONGEST_ENTRY = 131072;
  return n < LONGEST_ENTRY - 1 - text_length(name);
}

}  // namespace postlet
