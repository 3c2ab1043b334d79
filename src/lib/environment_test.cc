// environment_test.cc: lookup in the inherited environment.
#include "lib/environment.h"

#include <gtest/gtest.h>

#include <string>

using namespace postlet;

extern "C" char** environ;

TEST(EnvGet, FindsOnlyExactNames) {
  char a[] = "PATHX=1", b[] = "PAT=2", c[] = "PATH=3", d[] = "PATH=4", e[] = "EMPTY=";
  char* vector[] = {a, b, c, d, e, nullptr};
  char** saved = environ;
  environ = vector;
  const char* path = env_get("PATH");
  const char* empty = env_get("EMPTY");
  const char* prefix = env_get("PA");
  const char* nameless = env_get("");
  environ = saved;
  EXPECT_EQ(c + 5, path);
  EXPECT_STREQ("", empty);
  EXPECT_EQ(nullptr, prefix);
  EXPECT_EQ(nullptr, nameless);
}
