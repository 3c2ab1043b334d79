// recipient_fields_test.cc: which captured headers leave qmail-inject -H no one to send to.
#include "front/recipient_fields.h"

#include <gtest/gtest.h>

#include <string>

#include "header/header_capture.h"
#include "header/header_index.h"

using namespace postlet;

TEST(RecipientFields, NoRecipientOnlyWhenNothingCouldBeAnAddress) {
  const struct {
    std::string header;
    int none;
  } cases[] = {
      {"Subject: s\n\n", 1},
      {"", 1},
      {"To:\nCc: \t\nBcc: (nobody), ,\n\n", 1},
      {"To: undisclosed-recipients: ;\n\n", 1},
      {"To: \"Undisclosed\" list: (none) ;, other.group:;\n", 1},
      {"to : a\n", 0},
      {"TO: a@b\n", 0},
      {"Apparently-To: a\n", 0},
      {"Bcc: <>\n", 0},
      {"Cc: x\n\t<y@z>\n", 0},
      {"To: group: a@b;\n", 0},
      // Anything the simple forms do not cover counts as an address.
      {"To: (open comment\n", 0},
      {"To: \"open quote\n", 0},
      {"To: a:\n", 0},
      {"To: ;\n", 0},
      {"To: list\\: ;\n", 0},
      // An mbox From line and a field qmail-inject does not read for recipients.
      {"From to@x Mon\nX-To: a@b\nReply-To: a@b\n", 1},
      // Any Resent- field qmail-inject knows makes only the Resent- recipients count.
      {"To: a@b\nResent-Date: now\n", 1},
      {"To: a@b\nResent-Message-ID: <x@y>\n", 1},
      {"Resent-Bcc: c@d\n", 0},
      {"To: a@b\nResent-To: c@d\n", 0},
      {"To: a@b\nResent-Note: x\n", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    std::string text = c.header;
    header_index.text = {text.data(), static_cast<uint32_t>(text.size()),
                         static_cast<uint32_t>(text.size())};
    header_capture_result = {.header = static_cast<uint32_t>(text.size()), .captured = 1};
    EXPECT_EQ(c.none, header_names_no_recipient());
    // A header a bound cut, or none read at all, is never refused.
    header_capture_result.cut = 1;
    EXPECT_EQ(0, header_names_no_recipient());
    header_capture_result = {};
    EXPECT_EQ(0, header_names_no_recipient());
  }
}
