// environment.cc: lookup in the inherited environment.
#include "lib/environment.h"

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

}  // namespace postlet
