// modes.h: the -I refusal, the -b modes, the MAILNAME edit of -F and the invocation names.
#pragma once

namespace postlet {

// Refuses or delegates what is not a submission; returns only when a submission goes on. An SMTP
// session (-bs) sends its log line to the datagram socket at log_socket.
void dispatch_modes(const char* log_socket);

}  // namespace postlet
