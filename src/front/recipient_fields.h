// recipient_fields.h: whether the captured header gives qmail-inject -H anyone to send to.
#pragma once

namespace postlet {

// 1 when qmail-inject -H would queue the header captured whole for no one: none of the fields it
// takes recipients from gives an address that its rewriting leaves non-empty (To, Cc, Bcc and
// Apparently-To, or only Resent-To, Resent-Cc and Resent-Bcc when the header has a Resent- field
// it knows). 0 otherwise, when a bound cut the header, when none was read, and when qmail-inject
// would fail on a field it cannot parse rather than queue. QMAILINJECT's f and s delete the
// fields they delete for qmail-inject. Exhausted storage ends the process with die_nomem.
int header_names_no_recipient();

}  // namespace postlet
