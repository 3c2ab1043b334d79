// identity.h: the sender identity handed to the injector in its environment.
#pragma once

#include <cstdint>

namespace postlet {

// Set when the caller's environment names the user, or by an address from the header.
extern int32_t user_identity_set;
// Set when the caller's environment names the sender host and also the user, or by an address.
extern int32_t host_identity_set;
// The login name that sender_identity looked up, or null.
extern const char* looked_up_login;

// First stage: the identity flags from the caller's environment, before the header is read.
void identity_flags();

// Second stage: QMAILSHOST and QMAILSUSER from the Sender or From field of the header index when
// from_header, QMAILHOST and QMAILUSER from the envelope sender, or USER from the login name.
// The null sender (empty) counts as no envelope sender.
void sender_identity(int from_header);

// The login name the run went by, for the log line: the one sender_identity looked up, else the
// caller's USER or LOGNAME; null when there is none.
const char* login_used();

}  // namespace postlet
