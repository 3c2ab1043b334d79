// environment.h: lookup in the environment the process inherited.
#pragma once

namespace postlet {

// The value of the first inherited entry that is exactly name followed by '=', or null.
// Reads environ as received; edits meant for an executed program are never seen here.
const char* env_get(const char* name);

}  // namespace postlet
