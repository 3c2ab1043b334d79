// allocfail_test.cc: every pool allocation of representative runs made to fail in turn.
//
// postlet-allocfail is postlet built with the switch POSTLET_FAIL_ALLOCATION=n, which makes the
// n-th pool_alloc fail. Each run must either end exactly as the run without the switch or stop
// with status 111 and a line naming exhausted memory, with no program executed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "blackbox/driver.h"

using namespace blackbox;

namespace {

const char* const SWITCH = "POSTLET_FAIL_ALLOCATION";

struct outcome {
  blackbox::run_result result;
  blackbox::record record;
};

strings without_switch(strings env) {
  std::string prefix = std::string(SWITCH) + "=";
  env.erase(std::remove_if(env.begin(), env.end(),
                           [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }),
            env.end());
  return env;
}

outcome run_once(const sandbox& box, run_options o, const std::string& program, uint32_t n) {
  std::filesystem::remove_all(box.home + "/record");
  std::filesystem::create_directory(box.home + "/record");
  if (n) o.env.push_back(std::string(SWITCH) + "=" + std::to_string(n));
  outcome r;
  r.result = run(box, o);
  r.record = read_record(box, program);
  r.record.env = without_switch(r.record.env);
  return r;
}

// The lines a run may end with when memory runs out: die_nomem; the header capture's failed line
// read; run_program returning before its execve, for the injector or for a tool of a mode.
bool is_out_of_memory(const std::string& err, const std::string& program) {
  return err == "postlet: fatal: out of memory\n" ||
         err == "postlet: fatal: read(config): out of memory\n" ||
         err == "postlet: fatal: failed to start bin/" + program + ": out of memory\n" ||
         err == "postlet: fatal: failed to run bin/" + program + ": out of memory\n";
}

struct scenario {
  const char* name;
  run_options options;
  const char* program;  // the stub that runs on success
};

}  // namespace

TEST(AllocationFailure, EveryAllocationOfRepresentativeRuns) {
#if !defined(POSTLET_ALLOCFAIL_BINARY)
  GTEST_SKIP() << "no allocation-failure build";
#else
  auto with = [](strings argv, input_kind input, std::string bytes, strings env) {
    run_options o;
    o.argv = std::move(argv);
    o.input = input;
    o.stdin_bytes = std::move(bytes);
    o.env = std::move(env);
    return o;
  };
  const std::string message = "From: Joe <joe@from.example>\nSender: s@sender.example\n"
                              "Subject: hi\n\nbody\n";
  const std::vector<scenario> scenarios = {
      {"plain submission from a pipe",
       with({"postlet", "joe@example.org"}, input_kind::pipe, "Subject: x\n\nbody\n",
            {"PATH=/bin:/usr/bin"}),
       "qmail-inject"},
      {"seekable message with From and Sender",
       with({"postlet", "-t", "Ann <ann@example.org>, bob@example.org"}, input_kind::file, message,
            {"PATH=/bin:/usr/bin", "QMAILSHOST=inherited.example"}),
       "qmail-inject"},
      {"-f with a domain",
       with({"postlet", "-f", "sender@domain.example", "-F", "Joe Sender", "rcpt@example.org"},
            input_kind::pipe, "body\n", {"PATH=/bin", "QMAILINJECT=x"}),
       "qmail-inject"},
      {"-bs", with({"postlet", "-bs"}, input_kind::pipe, "HELO x\r\nQUIT\r\n", {"PATH=/bin"}),
       "qmail-smtpd"},
      {"--address-debug with several recipients",
       with({"postlet", "--address-debug", "--debug", "a@b.example", "Joe <joe@c.example>",
             "staff: ann@d.example, bob@e.example;", "Joe Doe", ""},
            input_kind::file, message, {"USER=someone"}),
       "qmail-inject"},
  };
  for (const auto& s : scenarios) {
    SCOPED_TRACE(s.name);
    sandbox box(POSTLET_ALLOCFAIL_BINARY, stubs::all);
    const outcome baseline = run_once(box, s.options, s.program, 0);
    ASSERT_EQ(0, baseline.result.status) << baseline.result.err;
    ASSERT_EQ("", baseline.result.err);
    const bool executes = baseline.record.ran;
    // The walk ends once this many allocation indexes in a row changed nothing: past the last
    // allocation the switch never fires.
    const uint32_t quiet_stretch = 24;
    uint32_t failures = 0, last_failure = 0;
    for (uint32_t n = 1; n - last_failure <= quiet_stretch; ++n) {
      ASSERT_LT(n, 5000u) << "the walk does not end";
      SCOPED_TRACE("allocation " + std::to_string(n));
      outcome r = run_once(box, s.options, s.program, n);
      if (r.result.status == baseline.result.status && r.result.err.empty()) {
        EXPECT_EQ(baseline.result.out, r.result.out);
        EXPECT_EQ(executes, r.record.ran);
        EXPECT_EQ(baseline.record.argv, r.record.argv);
        EXPECT_EQ(baseline.record.env, r.record.env);
        EXPECT_EQ(baseline.record.input, r.record.input);
        EXPECT_EQ(baseline.record.cwd, r.record.cwd);
        continue;
      }
      ++failures;
      last_failure = n;
      EXPECT_EQ(111, r.result.status);
      EXPECT_TRUE(is_out_of_memory(r.result.err, s.program)) << r.result.err;
      EXPECT_EQ("", r.result.out);
      EXPECT_FALSE(r.record.ran) << "a program ran after exhausted memory";
    }
    // Every run allocates: argument list, vector and environment at the least.
    EXPECT_GE(failures, 3u);
    std::printf("[ allocfail ] %s: %u allocation points, each failing cleanly\n", s.name, failures);
  }
#endif
}
