// modes.h: the -I refusal, the -b modes, the MAILNAME edit of -F and the invocation names.
#pragma once

namespace postlet {

// Refuses or delegates what is not a submission; returns only when a submission goes on.
void dispatch_modes();

// Executes one of qmail's tools with the argument vector {path}; never returns.
[[noreturn]] void run_tool(const char* path);

// qmail's SMTP server over descriptors 0 and 1, as if for a connection from the local host.
[[noreturn]] void smtp_mode();

}  // namespace postlet
