// identity_test.cc: the sender identity the injector receives in its environment.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>

#include "blackbox/driver.h"

using namespace blackbox;

struct identity_case {
  const char* name;
  strings options;        // between the program name and the recipient
  strings env;            // the caller's environment
  std::string header;     // empty: standard input is a pipe with a plain message
  strings expected;       // the full environment the injector receives
};

TEST(Identity, EnvironmentTheInjectorReceives) {
  const std::string user = "USER=" + blackbox::login_name();
  // The longest value an environment entry can hold beside a name of ten bytes, and one more.
  const std::string longest(131060, 'u'), too_long(131061, 'u');
  const identity_case cases[] = {
      {"pipe, no user variable", {}, {"HOME=/h"}, "", {"HOME=/h", user}},
      {"pipe, USER present", {}, {"USER=ann"}, "", {"USER=ann"}},
      {"pipe, LOGNAME present", {}, {"LOGNAME=ann"}, "", {"LOGNAME=ann"}},
      {"pipe, only QMAILSUSER present", {}, {"QMAILSUSER=ann"}, "", {"QMAILSUSER=ann", user}},
      {"-f joe", {"-f", "joe"}, {}, "", {"QMAILUSER=joe"}},
      {"-f joe@host", {"-f", "joe@host"}, {}, "", {"QMAILHOST=host", "QMAILUSER=joe"}},
      {"-f @host", {"-f", "@host"}, {}, "", {"QMAILHOST=host", "QMAILUSER="}},
      {"-f joe@", {"-f", "joe@"}, {}, "", {"QMAILUSER=joe"}},
      {"-r joe@host", {"-r", "joe@host"}, {}, "", {"QMAILHOST=host", "QMAILUSER=joe"}},
      {"-f with QMAILUSER", {"-f", "joe@host"}, {"QMAILUSER=q"}, "", {"QMAILUSER=q"}},
      {"-f with QMAILHOST", {"-f", "joe@host"}, {"QMAILHOST=h"}, "", {"QMAILHOST=h", "QMAILUSER=joe"}},
      {"-f replaces an inherited variable of the same name", {"-f", "joe@host"}, {"QMAILHOST=h", "QMAILUSER"}, "",
       {"QMAILHOST=h", "QMAILUSER", "QMAILUSER=joe"}},
      {"-f with a usable From", {"-f", "joe@host"}, {}, "From: ann@example.org\n\nbody\n", {}},
      {"From only", {}, {}, "From: Ann <ann@example.org>\n\nbody\n",
       {"QMAILSHOST=example.org", "QMAILSUSER=ann"}},
      {"Sender preferred over From", {}, {},
       "From: ann@from.example\nSender: sam@sender.example\n\n",
       {"QMAILSHOST=sender.example", "QMAILSUSER=sam"}},
      {"Sender beginning with @ falls back to From", {}, {},
       "Sender: @route.example\nFrom: ann@from.example\n\n",
       {"QMAILSHOST=from.example", "QMAILSUSER=ann"}},
      {"only Sender: identity and login name", {}, {}, "Sender: sam@sender.example\n\n",
       {"QMAILSHOST=sender.example", "QMAILSUSER=sam", user}},
      {"QMAILINJECT=f hides From", {}, {"QMAILINJECT=cf"}, "From: ann@example.org\n\n",
       {"QMAILINJECT=cf", user}},
      {"QMAILINJECT=F changes nothing", {}, {"QMAILINJECT=F"}, "From: ann@example.org\n\n",
       {"QMAILINJECT=F", "QMAILSHOST=example.org", "QMAILSUSER=ann"}},
      {"QMAILSHOST without a user variable is replaced", {}, {"QMAILSHOST=old"},
       "From: ann@example.org\n\n", {"QMAILSHOST=example.org", "QMAILSUSER=ann"}},
      {"QMAILSHOST and USER: no header identity", {}, {"QMAILSHOST=old", "USER=u"},
       "From: ann@example.org\n\n", {"QMAILSHOST=old", "USER=u"}},
      {"USER present: From is not used", {}, {"USER=u"}, "From: ann@example.org\n\n", {"USER=u"}},
      {"a header address without @", {}, {}, "From: ann\n\n", {"QMAILSUSER=ann"}},
      {"a header address ending in @", {}, {}, "From: ann@\n\n", {"QMAILSUSER=ann"}},
      {"display name with comma and quotes", {}, {},
       "From: \"Doe, Jane\" <jane@example.org>\n\n", {"QMAILSHOST=example.org", "QMAILSUSER=jane"}},
      {"comments around the address", {}, {}, "From: (Jane) jane@example.org (Doe)\n\n",
       {"QMAILSHOST=example.org", "QMAILSUSER=jane"}},
      {"a group: its first address", {}, {}, "From: team: a@one.example, b@two.example;\n\n",
       {"QMAILSHOST=one.example", "QMAILSUSER=a"}},
      {"quoted local part", {}, {}, "From: \"jane doe\"@example.org\n\n",
       {"QMAILSHOST=example.org", "QMAILSUSER=jane doe"}},
      {"folded From", {}, {}, "From: Jane\n <jane@example.org>\nSubject: x\n\n",
       {"QMAILSHOST=example.org", "QMAILSUSER=jane"}},
      // A From field counts as usable even when it yields no address: nothing else is set.
      {"From without address", {}, {}, "From: (nobody)\n\n", {}},
      {"From with an open quote", {}, {}, "From: \"jane\n\n", {}},
      {"MAILNAME comes first", {"-F", "Jane Doe"}, {}, "From: jane@example.org\n\n",
       {"MAILNAME=Jane Doe", "QMAILSHOST=example.org", "QMAILSUSER=jane"}},
      // The null sender names nobody: the header and the login name give the identity.
      {"-f empty", {"-f", ""}, {}, "", {user}},
      {"-f <>", {"-f", "<>"}, {}, "", {user}},
      {"-f <a@b>", {"-f", "<a@b>"}, {}, "", {"QMAILHOST=b", "QMAILUSER=a"}},
      {"-f empty with From", {"-f", ""}, {}, "From: ann@example.org\n\n",
       {"QMAILSHOST=example.org", "QMAILSUSER=ann"}},
      {"-r <> with From", {"-r", "<>"}, {}, "From: ann@example.org\n\n",
       {"QMAILSHOST=example.org", "QMAILSUSER=ann"}},
      {"-f <a@b> with From", {"-f", "<a@b>"}, {}, "From: ann@example.org\n\n", {}},
      // An address holding a control byte counts as an empty one.
      {"quoted CR in From", {}, {}, "From: \"ann\rBcc: x\"@example.org\n\n", {}},
      {"DEL in Sender: From is used", {}, {},
       "Sender: \"s\x7f\"@sender.example\nFrom: ann@from.example\n\n",
       {"QMAILSHOST=from.example", "QMAILSUSER=ann"}},
      {"byte 1 in Sender, only Sender", {}, {}, "Sender: \"s\x01\"@sender.example\n\n", {user}},
      // Names are matched as qmail-inject matches them; its mbox line is no field.
      {"FROM with a blank before the colon", {}, {}, "FROM : ann@one.example\n\n",
       {"QMAILSHOST=one.example", "QMAILSUSER=ann"}},
      {"From with a TAB before the colon", {}, {}, "From\t: ann@one.example\n\n",
       {"QMAILSHOST=one.example", "QMAILSUSER=ann"}},
      {"From : is the mbox line", {}, {}, "From : ann@one.example\n\n", {user}},
      {"Sender with a blank before the colon", {}, {}, "Sender : s@two.example\n\n",
       {"QMAILSHOST=two.example", "QMAILSUSER=s", user}},
      {"a space inside a field name ends the header", {}, {},
       "X Y: z\nFrom: ann@example.org\n\n", {user}},
      // The kernel's bound, for the variables written.
      {"the longest QMAILSUSER", {}, {}, "From: " + longest + "@h.example\n\n",
       {"QMAILSHOST=h.example", "QMAILSUSER=" + longest}},
      {"QMAILSUSER one byte too long", {}, {}, "From: " + too_long + "@h.example\n\n", {user}},
      {"the longest QMAILSHOST", {}, {}, "From: a@" + longest + "\n\n",
       {"QMAILSHOST=" + longest, "QMAILSUSER=a"}},
      {"QMAILSHOST one byte too long", {}, {}, "From: a@" + too_long + "\n\n", {user}},
      {"the longest MAILNAME", {"-F", longest + "uu"}, {}, "", {"MAILNAME=" + longest + "uu", user}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sandbox box(stubs::all);
    run_options o;
    o.argv = {"postlet"};
    o.argv.insert(o.argv.end(), c.options.begin(), c.options.end());
    o.argv.push_back("rcpt@example.org");
    o.env = c.env;
    if (c.header.empty()) {
      o.input = input_kind::pipe;
      o.stdin_bytes = "Subject: x\n\nbody\n";
    } else {
      o.input = input_kind::file;
      o.stdin_bytes = c.header;
    }
    auto rec = run_to(box, o).rec;
    ASSERT_TRUE(rec.ran);
    EXPECT_EQ(c.expected, rec.env);
    EXPECT_EQ(o.stdin_bytes, rec.input);
  }
}

TEST(Identity, FailedLoginLookUpIsSaidAndTheRunGoesOn) {
#if defined(POSTLET_STATIC_BINARY)
  GTEST_SKIP() << "a static postlet takes no preloaded library";
#endif
  const struct {
    int error;
    std::string err;  // an unknown user is no failure and is not mentioned
  } cases[] = {
      {EIO, "postlet: warning: unable to look up the login name: input/output error\n"},
      {EMFILE, "postlet: warning: unable to look up the login name: process cannot open more files\n"},
      {0, ""},
      {ENOENT, ""},
      {ESRCH, ""},
      {EBADF, ""},
      {EPERM, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    sandbox box(stubs::all);
    run_options o;
    o.argv = {"postlet", "rcpt@example.org"};
    o.env = {"PATH=/bin", std::string("LD_PRELOAD=") + POSTLET_FAILING_GETPWUID,
             "POSTLET_TEST_GETPWUID_ERRNO=" + std::to_string(c.error),
             "ASAN_OPTIONS=verify_asan_link_order=0"};
    auto rec = run_to(box, o, "qmail-inject", c.err).rec;
    ASSERT_TRUE(rec.ran);
    EXPECT_EQ((strings{"bin/qmail-inject", "-a", "--", "rcpt@example.org"}), rec.argv);
    EXPECT_EQ(o.env, rec.env);
  }
}
