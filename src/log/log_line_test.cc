// log_line_test.cc: the composed line, its escapes and its bound.
#include "log/log_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

using namespace postlet;

namespace {

std::string compose(const log_fields& f) {
  char line[LOG_LINE_MAX + 64];
  uint32_t n = log_compose(line, &f);
  EXPECT_LE(n, LOG_LINE_MAX);
  return std::string(line, n);
}

}  // namespace

TEST(LogLine, DefaultsAndEveryByteEscaped) {
  EXPECT_EQ("<22>postlet[0]: mode=inject uid=0 user=- ppid=0 parent=- cwd=- sender=<> rcpts=0 "
            "header=yes msgid=- pid=0",
            compose({.tag = "", .user = "", .sender = "", .header = 1, .msgid = " \r\n",
                     .msgid_length = 3}));
  // A session's line has no message fields, whatever the record holds.
  EXPECT_EQ("<22>s\\072[7]: mode=smtp uid=1 user=u\\040v ppid=2 parent=- cwd=/x pid=7",
            compose({.tag = "s:", .mode = LOG_SMTP, .uid = 1, .user = "u v", .ppid = 2,
                     .cwd = "/x", .sender = "a@b", .recipients = 3, .header = 1, .msgid = "<m>",
                     .msgid_length = 3, .pid = 7}));
  // Every byte but NUL: printable ones other than the backslash stand as they are.
  for (int b = 1; b < 256; ++b) {
    const char cwd[2] = {static_cast<char>(b), 0};
    char octal[8];
    std::snprintf(octal, sizeof octal, "\\%03o", b);
    std::string expected = b > 32 && b < 127 && b != '\\' ? std::string(cwd) : octal;
    EXPECT_NE(std::string::npos, compose({.cwd = cwd}).find(" cwd=" + expected + " sender="));
  }
}

TEST(LogLine, LongValuesAreCutSoEveryFieldRemains) {
  const std::string label(100, 'L');
  for (const std::string& text : {std::string(5000, '\1'), std::string(5000, 'v')}) {
    const char* t = text.c_str();
    std::istringstream words(compose({.tag = label.c_str(), .mode = LOG_INJECT, .uid = 4294967295u, .user = t,
                                      .ppid = 4294967295u, .parent = t, .cwd = t, .sender = t,
                                      .recipients = 4294967295u, .header = 1, .msgid = t,
                                      .msgid_length = 5000, .pid = 4294967295u}));
    // The tag is cut to 32 bytes, escapes stay whole, and the directory keeps the most room.
    const std::string unit = text[0] == 'v' ? "v" : "\\001";
    std::string word, names, cwd;
    words >> word;
    EXPECT_EQ("<22>" + std::string(32, 'L') + "[4294967295]:", word);
    while (words >> word) {
      std::string name = word.substr(0, word.find('=')), value = word.substr(name.size() + 1);
      names += name + " ";
      if (name == "cwd") cwd = value;
      if (value == "4294967295" || value == "yes" || value == "inject") continue;
      std::string units;
      while (units.size() < value.size()) units += unit;
      EXPECT_EQ(units, value) << name;
    }
    EXPECT_EQ("mode uid user ppid parent cwd sender rcpts header msgid pid ", names);
    EXPECT_GE(cwd.size(), 276u);
  }
}
