// recipient_fields_test.cc: which captured headers leave qmail-inject -H no one to send to.
#include "front/recipient_fields.h"

#include <gtest/gtest.h>

#include <string>

#include "header/header_capture.h"
#include "header/header_index.h"

using namespace postlet;

TEST(RecipientFields, NoRecipientExactlyWhenQmailInjectQueuesForNoOne) {
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
      {"TO\t: a@b\n", 0},
      {"Apparently-To: a\n", 0},
      {"Cc: x\n\t<y@z>\n", 0},
      {"To: group: a@b;\n", 0},
      // Addresses that qmail-inject's rewriting leaves empty, and what it cannot parse.
      {"Bcc: <>\n", 1},
      {"To: @\nCc: <@>, <.>, .\n", 1},
      {"To: @host.example, grp: <>;\n", 1},
      {"To: <@route.example:>\n", 1},
      {"To: <@route.example:a>\n", 0},
      {"To: @[]\n", 0},
      {"To: <(c)>\n", 0},
      {"To: \"\"\n", 0},
      {"To: ;\n", 1},
      {"To: >\n", 1},
      {"To: (unclosed\n", 1},
      {"To: \"unclosed\n", 1},
      {"To: a)b, ]\n", 1},
      {"To: a:\n", 1},
      {"To: list\\: ;\n", 0},
      // Right of a fault qmail-inject has taken the addresses already; left of it, none.
      {"To: a@b, x: y\n", 0},
      {"To: x: y, a@b\n", 0},
      {"To: a@b x: ;\n", 1},
      // A backslash that ends the input escapes the newline qmail-inject adds.
      {"To: a\\", 0},
      {"To: \"a\\", 1},
      // An mbox From line and a field qmail-inject does not read for recipients.
      {"From to@x Mon\nX-To: a@b\nReply-To: a@b\n", 1},
      // Any Resent- field qmail-inject knows makes only the Resent- recipients count.
      {"To: a@b\nResent-Date: now\n", 1},
      {"To: a@b\nresent-message-id : <x@y>\n", 1},
      {"Resent-Bcc: c@d\n", 0},
      {"To: a@b\nResent-To: c@d\n", 0},
      {"To: a@b\nResent-Note: x\n", 0},
      // qmail-inject fails on a sender field it cannot parse, and queues nothing at all.
      {"From: \"unclosed\nSubject: s\n", 0},
      {"Return-Path: <a@b\nReply-To: x: y\n", 0},
      {"Resent-Sender: (\n", 0},
      {"From: a@b\nX-Other: \"\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    std::string text = c.header;
    ASSERT_EQ(0, header_index_build(&header_index, text.data(), static_cast<uint32_t>(text.size())));
    header_capture_result = {.header = static_cast<uint32_t>(text.size()), .captured = 1};
    EXPECT_EQ(c.none, header_names_no_recipient());
    // A header a bound cut, or none read at all, is never refused.
    header_capture_result.cut = 1;
    EXPECT_EQ(0, header_names_no_recipient());
    header_capture_result = {};
    EXPECT_EQ(0, header_names_no_recipient());
  }
  // QMAILINJECT's f and s delete the From and Return-Path fields before qmail-inject reads them.
  std::string text = "From: (\nReturn-Path: >\n";
  ASSERT_EQ(0, header_index_build(&header_index, text.data(), static_cast<uint32_t>(text.size())));
  header_capture_result = {.header = static_cast<uint32_t>(text.size()), .captured = 1};
  for (const char* options : {"", "f", "s", "fs"}) {
    SCOPED_TRACE(options);
    setenv("QMAILINJECT", options, 1);
    EXPECT_EQ(std::string(options) == "fs", header_names_no_recipient() == 1);
  }
  unsetenv("QMAILINJECT");
}
