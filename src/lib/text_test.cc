// text_test.cc: the byte and text helpers.
#include "lib/text.h"

#include <gtest/gtest.h>

using namespace postlet;

TEST(BaseName, TakesTheTextAfterTheLastSlash) {
  EXPECT_STREQ("postlet", base_name("/usr/sbin/postlet"));
  EXPECT_STREQ("mailq", base_name("mailq"));
  EXPECT_STREQ("relay/", base_name("relay/"));
  EXPECT_STREQ("", base_name(""));
}
