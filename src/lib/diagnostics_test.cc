// diagnostics_test.cc: diagnostic lines, their statuses and the error texts.
#include "lib/diagnostics.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

using namespace postlet;

TEST(Diagnostics, LinesAndStatuses) {
  program_name = "postlet";
  fatal_threshold = 3;
  EXPECT_EXIT(die(2, 0, "mode ", "x", " not implemented.", nullptr), testing::ExitedWithCode(2),
              "^postlet: mode x not implemented.\n$");
  // The threshold itself is fatal already.
  EXPECT_EXIT(die(3, 0, "at the threshold", nullptr, nullptr, nullptr), testing::ExitedWithCode(3),
              "^postlet: fatal: at the threshold\n$");
  EXPECT_EXIT(die_nomem(), testing::ExitedWithCode(111), "^postlet: fatal: out of memory\n$");
  EXPECT_EXIT(die(111, ENOENT, "failed to run ", "bin/qmail-inject", nullptr, nullptr),
              testing::ExitedWithCode(111),
              "^postlet: fatal: failed to run bin/qmail-inject: file does not exist\n$");
  EXPECT_EXIT(die(111, 4242, "x", nullptr, nullptr, nullptr), testing::ExitedWithCode(111),
              "^postlet: fatal: x: unknown error\n$");
}

TEST(Diagnostics, ControlBytesOfTheNameAndThePiecesAreEscaped) {
  program_name = "mail\tq";
  fatal_threshold = 3;
  // Longer than one piece of the escaped output; bytes above 126 stay as they are.
  const std::string mode = "z\x1b[31m\x7f\n\xe9" + std::string(100, '\x02');
  std::string expected = "^mail\\\\011q: fatal: mode z\\\\033\\[31m\\\\177\\\\012\xe9";
  for (int i = 0; i < 100; ++i) expected += "\\\\002";
  EXPECT_EXIT(die(111, ENOENT, "mode ", mode.c_str(), nullptr, nullptr),
              testing::ExitedWithCode(111), expected + ": file does not exist\n$");
}

TEST(Diagnostics, BeforeStartUpThereIsNoPrefix) {
  program_name = nullptr;
  fatal_threshold = 256;
  EXPECT_EXIT(die(111, 0, "a", "b", "c", "d"), testing::ExitedWithCode(111), "^abcd\n$");
}

TEST(Diagnostics, LongLineArrivesWholeAndClosedDescriptorKeepsStatus) {
  program_name = "postlet";
  fatal_threshold = 3;
  std::string piece(300, 'p');
  EXPECT_EXIT(die(111, EACCES, piece.c_str(), piece.c_str(), nullptr, nullptr),
              testing::ExitedWithCode(111),
              "^postlet: fatal: " + piece + piece + ": access denied\n$");
  EXPECT_EXIT(
      {
        close(2);
        die(111, 0, "gone", nullptr, nullptr, nullptr);
      },
      testing::ExitedWithCode(111), "^$");
}

TEST(ErrorText, KnownAndUnknownNumbers) {
  const struct {
    int number;
    const char* text;
  } cases[] = {{EPERM, "permission denied"},   {ENOENT, "file does not exist"},
               {ENOMEM, "out of memory"},      {EACCES, "access denied"},
               {ESPIPE, "unseekable descriptor"}, {EAGAIN, "temporary failure"},
               {EPROTO, "protocol error"},     {ENOEXEC, "exec format error"},
               {-1, "unknown error"},          {100000, "unknown error"}};
  for (const auto& c : cases) EXPECT_STREQ(c.text, error_text(c.number)) << c.number;
}
