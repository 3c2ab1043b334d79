// spine_test.cc: the start-up and hand-over of the built binary.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include "blackbox/driver.h"

using namespace blackbox;

TEST(Spine, PlainSubmissionExecsTheInjectorInTheHome) {
  sandbox box(stubs::all);
  auto [r, rec] = run_to(box, {.argv = {"postlet", "joe@example.org", "ann"},
                               .env = {"USER=joe", "HOME=/nowhere"},
                               .stdin_bytes = "Subject: hi\n\nbody\n"});
  EXPECT_EQ("", r.out);
  ASSERT_TRUE(rec.ran);
  EXPECT_EQ((strings{"bin/qmail-inject", "-a", "--", "joe@example.org", "ann"}), rec.argv);
  EXPECT_EQ(box.home, rec.cwd);
  EXPECT_EQ("Subject: hi\n\nbody\n", rec.input);
  EXPECT_EQ((strings{"USER=joe", "HOME=/nowhere"}), rec.env);
}

TEST(Spine, InjectorStatusBecomesTheCommandStatus) {
  sandbox box;
  box.install_stub("bin/qmail-inject", 77);
  run_options o;
  o.argv = {"postlet", "joe"};
  o.env = {"USER=joe"};
  EXPECT_EQ(77, run(box, o).status);
}

TEST(Spine, ProgramNameIsTheBaseNameOfArgvZero) {
  // Without an injector the failure line shows the name the command was invoked under.
  const struct {
    const char* argv0;
    const char* name;
  } cases[] = {{"/usr/sbin/postlet", "postlet"},
               {"sendmail", "sendmail"},
               {"relay/", "relay/"},
               {"/", "/"},
               {"a/b/c", "c"},
               {"a/\x1b[31mx\x7f", "\\033[31mx\\177"}};
  sandbox box;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argv0);
    auto r = run(box, {.argv = {c.argv0, "joe"}, .env = {"USER=joe"}});
    EXPECT_EQ(111, r.status);
    EXPECT_EQ(std::string(c.name) +
                  ": fatal: failed to start bin/qmail-inject: file does not exist\n",
              r.err);
  }
}

TEST(Spine, InjectorThatCannotRunGivesItsErrorText) {
  sandbox box;
  blackbox::write_file(box.home + "/bin/qmail-inject", "not a program\n", 0644);
  run_options o;
  o.argv = {"postlet", "joe"};
  o.env = {"USER=joe"};
  auto r = run(box, o);
  EXPECT_EQ(111, r.status);
  EXPECT_EQ("postlet: fatal: failed to start bin/qmail-inject: access denied\n", r.err);
  chmod((box.home + "/bin/qmail-inject").c_str(), 0755);
  r = run(box, o);
  EXPECT_EQ(111, r.status);
  EXPECT_EQ("postlet: fatal: failed to start bin/qmail-inject: exec format error\n", r.err);
}

TEST(Spine, MissingHomeEndsBeforeAnythingElse) {
  std::string home;
  {
    sandbox box;
    home = box.home;
    // Keep only the patched binary, outside the home that is about to vanish.
    blackbox::write_file("/tmp/" + home.substr(5) + "-postlet", blackbox::read_file(box.binary()),
                         0755);
  }
  sandbox other;
  for (const strings& argv : {strings{"postlet", "joe"}, strings{"postlet", "--help"},
                              strings{"postlet", "--version"}}) {
    run_options o;
    o.argv = argv;
    o.program = "/tmp/" + home.substr(5) + "-postlet";
    auto r = run(other, o);
    EXPECT_EQ(111, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("postlet: fatal: failed to switch to qmail home directory: file does not exist\n",
              r.err);
  }
  unlink(("/tmp/" + home.substr(5) + "-postlet").c_str());
}

TEST(Spine, ClosedStandardErrorStillGivesTheStatus) {
  sandbox box;
  auto r = run(box, {.argv = {"postlet", "joe"}, .env = {"USER=joe"}, .close_stderr = true});
  EXPECT_EQ(111, r.status);
  EXPECT_EQ("", r.err);
}

TEST(Spine, QmailProgramsStartWithSigchldAtItsDefault) {
  // Ignored, SIGCHLD would keep qmail-inject from waiting for qmail-queue; the other signals the
  // caller ignored stay ignored.
  const std::string hup = std::to_string(SIGHUP);
  const struct {
    strings argv;
    const char* tool;
    input_kind input;
    std::vector<int> ignored;
    std::string recorded;
  } cases[] = {
      {{"postlet", "joe"}, "qmail-inject", input_kind::pipe, {SIGCHLD, SIGHUP}, hup},
      {{"postlet", "joe"}, "qmail-inject", input_kind::file, {SIGCHLD}, ""},
      {{"postlet", "-bs"}, "qmail-smtpd", input_kind::pipe, {SIGHUP, SIGCHLD}, hup},
      {{"postlet", "-bP"}, "qmail-qstat", input_kind::pipe, {SIGCHLD}, ""},
      {{"mailq"}, "qmail-qread", input_kind::pipe, {SIGCHLD, SIGHUP}, hup},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argv.back() + " " + std::to_string(c.ignored.size()));
    sandbox box(stubs::all);
    auto rec = run_to(box,
                      {.argv = c.argv, .env = {"USER=joe"}, .input = c.input,
                       .stdin_bytes = "Subject: hi\n\nbody\n", .ignored_signals = c.ignored},
                      c.tool)
                   .rec;
    ASSERT_TRUE(rec.ran);
    EXPECT_EQ(c.recorded, rec.ignored);
  }
}
