// downstream.h: run a home-patched postlet in front of qmail's real qmail-inject and qmail-smtpd.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "blackbox/driver.h"

namespace downstream {

// "" when the programs are built; otherwise the build step's "skip: ..." or "fail: ..." line.
std::string unavailable();

// Skips the test when the programs could not be built for want of the fixture or a compiler,
// and fails it when their build went wrong.
#define REQUIRE_DOWNSTREAM()                             \
  do {                                                   \
    const std::string why = downstream::unavailable();   \
    if (why.rfind("skip:", 0) == 0) GTEST_SKIP() << why; \
    if (!why.empty()) FAIL() << why;                     \
  } while (0)

// Links the real programs into the sandbox's bin/. They work in the home they were built for, whose
// qmail-queue records into the folder named by QQREC_DIR.
void install_programs(const blackbox::sandbox& box);

// The caller's environment plus QQREC_DIR, the sandbox's record/ folder, which only the recorder
// reads.
std::vector<std::string> with_recorder(const blackbox::sandbox& box, std::vector<std::string> env);

// What qmail-queue was given: the envelope and the message, and the environment it was started
// with ("NAME=value", sorted). queued is false, and the rest empty, when it queued nothing; runs
// counts its starts all the same.
struct queued {
  bool queued = false;
  int runs = 0;
  std::string sender;
  std::vector<std::string> recipients;
  std::string message;
  std::vector<std::string> env;
};
queued read_queue(const blackbox::sandbox& box);

// The header of a message (up to and without its first empty line) and its body (after it).
std::string header_of(const std::string& message);
std::string body_of(const std::string& message);
// The first header line beginning with NAME (e.g. "From:"), "" without one.
std::string header_line(const std::string& message, const std::string& name);

}  // namespace downstream
