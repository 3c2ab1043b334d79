// modes_test.cc: refusals, -b modes, invocation names and the SMTP mode.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "blackbox/driver.h"

using namespace blackbox;

static const char* const TOOLS[] = {"qmail-inject", "qmail-smtpd", "qmail-qread",
                                    "qmail-qstat",  "qmail-tcpok", "qmail-tcpto"};

// The one tool that ran, or "" when none did.
static std::string tool_that_ran(const sandbox& box) {
  std::string ran;
  for (const char* t : TOOLS) {
    if (read_record(box, t).ran) ran += ran.empty() ? t : std::string(" ") + t;
  }
  return ran;
}

TEST(Modes, Refusals) {
  const struct {
    strings argv;
    std::string err;
  } cases[] = {
      {{"postlet", "-I"}, "postlet: please use fastforward/newaliases instead.\n"},
      {{"postlet", "-I", "-bs"}, "postlet: please use fastforward/newaliases instead.\n"},
      {{"postlet", "-bi"}, "postlet: please use fastforward/newaliases instead.\n"},
      {{"postlet", "-bd"}, "postlet: daemonmode not implemented. start qmail instead.\n"},
      {{"postlet", "-bD"}, "postlet: daemonmode not implemented. start qmail instead.\n"},
      {{"postlet", "-bq"}, "postlet: queuemode not implemented. send an alarm to qmail-send.\n"},
      {{"postlet", "-bM"}, "postlet: mode M not implemented.\n"},
      {{"postlet", "-bmx"}, "postlet: mode mx not implemented.\n"},
      {{"postlet", "-b", ""}, "postlet: mode  not implemented.\n"},
      {{"postlet", "-bs", "-bz"}, "postlet: mode z not implemented.\n"},
      // The mode is the caller's word: its control bytes come back written \ooo.
      {{"postlet", "-bz\x1b[31m\x7f\n"}, "postlet: mode z\\033[31m\\177\\012 not implemented.\n"},
      {{"new\raliases", "-bz"}, "new\\015aliases: mode z not implemented.\n"},
      {{"newaliases"}, "newaliases: please use fastforward/newaliases instead.\n"},
      {{"/usr/bin/smtpd", "joe"}, "smtpd: daemonmode not implemented. start qmail instead.\n"},
      {{"mailq", "-bd"}, "mailq: daemonmode not implemented. start qmail instead.\n"},
  };
  sandbox box(stubs::all);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    auto r = run(box, {.argv = c.argv, .env = {"USER=joe"}});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ(c.err, r.err);
    EXPECT_EQ("", r.out);
  }
  EXPECT_EQ("", tool_that_ran(box));
}

TEST(Modes, ToolsByModeAndByName) {
  const struct {
    strings argv;
    const char* tool;
    bool mailname;
  } cases[] = {
      {{"postlet", "-bp"}, "qmail-qread", false},
      {{"postlet", "-bP"}, "qmail-qstat", false},
      {{"postlet", "-bh"}, "qmail-tcpto", false},
      {{"postlet", "-bH"}, "qmail-tcpok", false},
      {{"postlet", "-bp", "-F", "Joe"}, "qmail-qread", false},
      {{"mailq"}, "qmail-qread", false},
      {{"mailq", "-Ac"}, "qmail-qread", false},
      {{"/usr/bin/mailq", "-F", "Joe"}, "qmail-qread", true},
      {{"hoststat", "-FJoe"}, "qmail-tcpto", true},
      {{"purgestat"}, "qmail-tcpok", false},
      {{"mailq", "-bs"}, "qmail-smtpd", false},
      {{"mailq.old", "joe"}, "qmail-inject", false},
      {{"postlet", "-bm", "joe"}, "qmail-inject", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argv[0] + " " + c.tool);
    sandbox box(stubs::all);
    const run_options o = {.argv = c.argv, .env = {"USER=joe", "PROTO=set-by-caller"}};
    auto rec = run_to(box, o, c.tool).rec;
    EXPECT_EQ(c.tool, tool_that_ran(box));
    if (std::string(c.tool) != "qmail-inject") {
      EXPECT_EQ((strings{std::string("bin/") + c.tool}), rec.argv);
    }
    EXPECT_EQ(box.home, rec.cwd);
    strings expected = {"USER=joe", "PROTO=set-by-caller"};
    if (c.mailname) expected.push_back("MAILNAME=Joe");
    EXPECT_EQ(expected, rec.env);
  }
}

TEST(Modes, SmtpModeSetsTheConnectionVariables) {
  const strings added = {"RELAYCLIENT=",
                         "DATABYTES=0",
                         "PROTO=TCP",
                         "TCPLOCALIP=127.0.0.1",
                         "TCPLOCALHOST=localhost",
                         "TCPREMOTEIP=127.0.0.1",
                         "TCPREMOTEHOST=localhost",
                         "TCPREMOTEINFO=postlet-bs"};
  const struct {
    strings inherited;
    strings expected;
    bool appended;  // the connection variables follow the expected entries
  } cases[] = {
      {{"USER=joe", "HOME=/h"}, {"USER=joe", "HOME=/h"}, true},
      // An inherited variable is replaced where the merge puts it: its slot is filled by the last
      // element and the edit goes to the end.
      {{"DATABYTES=5", "A=1", "TCPREMOTEINFO=x"},
       {"RELAYCLIENT=", "A=1", "TCPREMOTEHOST=localhost", "DATABYTES=0", "PROTO=TCP",
        "TCPLOCALIP=127.0.0.1", "TCPLOCALHOST=localhost", "TCPREMOTEIP=127.0.0.1",
        "TCPREMOTEINFO=postlet-bs"},
       false},
      {{"PROTO=", "A=1"}, {"PROTO=", "A=1"}, false},
      {{"PROTO=SSL", "TCPREMOTEIP=10.0.0.1"}, {"PROTO=SSL", "TCPREMOTEIP=10.0.0.1"}, false},
  };
  for (const auto& c : cases) {
    sandbox box(stubs::all);
    auto [r, rec] = run_to(box,
                           {.argv = {"postlet", "-bs", "-F", "Joe"},
                            .env = c.inherited,
                            .stdin_bytes = "HELO localhost\r\nQUIT\r\n"},
                           "qmail-smtpd");
    EXPECT_EQ("220 stub ready\r\n250 HELO localhost\r\n250 QUIT\r\n", r.out);
    ASSERT_TRUE(rec.ran);
    EXPECT_EQ((strings{"bin/qmail-smtpd"}), rec.argv);
    EXPECT_EQ("HELO localhost\r\nQUIT\r\n", rec.input);
    strings expected = c.expected;
    if (c.appended) expected.insert(expected.end(), added.begin(), added.end());
    EXPECT_EQ(expected, rec.env);
  }
}

TEST(Modes, ToolThatCannotRun) {
  sandbox box;
  run_options o;
  o.argv = {"postlet", "-bp"};
  auto r = run(box, o);
  EXPECT_EQ(111, r.status);
  EXPECT_EQ("postlet: fatal: failed to run bin/qmail-qread: file does not exist\n", r.err);
  blackbox::write_file(box.home + "/bin/qmail-smtpd", "#!/bin/sh\n", 0644);
  o.argv = {"postlet", "-bs"};
  r = run(box, o);
  EXPECT_EQ(111, r.status);
  EXPECT_EQ("postlet: fatal: failed to run bin/qmail-smtpd: access denied\n", r.err);
}
