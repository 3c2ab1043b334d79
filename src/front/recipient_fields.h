// recipient_fields.h: whether the captured header gives qmail-inject -H anyone to send to.
#pragma once

namespace postlet {

// 1 when a header was captured whole and none of the fields qmail-inject -H takes recipients
// from can hold an address: To, Cc, Bcc and Apparently-To, or only Resent-To, Resent-Cc and
// Resent-Bcc when the header has a Resent- field qmail-inject knows. 0 otherwise, and whenever
// it is in doubt.
int header_names_no_recipient();

}  // namespace postlet
