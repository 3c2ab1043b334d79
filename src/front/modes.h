// modes.h: the -I refusal, the -b modes, the MAILNAME edit of -F and the invocation names.
#pragma once

namespace postlet {

// Refuses or delegates what is not a submission; returns only when a submission goes on.
void dispatch_modes();

}  // namespace postlet
