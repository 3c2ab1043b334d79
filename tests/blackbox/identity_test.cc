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

// The login name is the password file's where the switch asks the file first and the file settles
// it, else getpwuid's, which the probe gives beside it. Each run has its own password file and
// switch mounted over the machine's; the name service "postlettest" knows every uid as nssuser.
// A preloaded getpwuid that finds nothing shows when it is asked: a failed look-up is said and
// the run goes on.
TEST(Identity, LoginNameIsGetpwuidsAnswer) {
  const std::string why = private_mounts_unavailable({"/etc/passwd", "/etc/nsswitch.conf"});
  if (!why.empty()) GTEST_SKIP() << why;
  const std::string me = std::to_string(getuid());
  const std::string other = "other:x:" + std::to_string(getuid() + 1) + ":0::/:/bin/sh\n";
  const std::string mine = other + "filed:x:" + me + ":0::/:/bin/sh\n";
  const std::string files = "passwd: files postlettest\n";
  const std::string compat = "passwd: compat\npasswd_compat: postlettest\n";
  const std::string warning = "postlet: warning: unable to look up the login name: ";
  const struct {
    const char* name;
    std::string passwd;
    std::string nsswitch;
    int getpwuid_error;  // -1: the C library's getpwuid; else a preloaded one failing with it
    const char* user;    // USER from postlet, getpwuid's answer (the probe's) where it is the C library's; null: none
    const char* user_static;  // the same from a static postlet
    std::string err;
  } cases[] = {
      {"in the file, files first", mine, files, -1, "filed", "filed", ""},
      {"in the file, compat first", mine, compat, -1, "filed", "filed", ""},
      {"only in the other service", other, files, -1, "nssuser", nullptr, ""},
      {"a + line before it, compat", "+\n" + mine, compat, -1, "nssuser", "filed", ""},
      {"another source first", mine, "passwd: postlettest files\n", -1, "nssuser", "filed", ""},
      {"an action after files", mine, "passwd: files [SUCCESS=continue] postlettest\n", -1,
       "nssuser", "filed", ""},
      {"a line beginning with a blank", " spaced:x:" + me + ":0\n" + mine, files, -1, "spaced",
       "filed", ""},
      {"a uid with a sign", "signed:x:+" + me + ":0\n" + mine, files, -1, "signed", "filed", ""},
      {"getpwuid not asked when the file settles it", mine, files, EIO, "filed", "filed", ""},
      {"failing getpwuid, EIO", other, files, EIO, nullptr, nullptr, warning + "input/output error\n"},
      {"failing getpwuid, EMFILE", other, files, EMFILE, nullptr, nullptr,
       warning + "process cannot open more files\n"},
      // An unknown user is no failure and is not mentioned.
      {"failing getpwuid, 0", other, files, 0, nullptr, nullptr, ""},
      {"failing getpwuid, ENOENT", other, files, ENOENT, nullptr, nullptr, ""},
      {"failing getpwuid, ESRCH", other, files, ESRCH, nullptr, nullptr, ""},
      {"failing getpwuid, EBADF", other, files, EBADF, nullptr, nullptr, ""},
      {"failing getpwuid, EPERM", other, "passwd: postlettest\n", EPERM, nullptr, nullptr, ""},
  };
#if defined(POSTLET_STATIC_BINARY)
  const bool in_static = true;  // no loader: the preloaded getpwuid is not taken either
#else
  const bool in_static = false;
#endif
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sandbox box(stubs::all);
    write_file(box.home + "/passwd", c.passwd);
    write_file(box.home + "/nsswitch.conf", c.nsswitch);
    run_options o;
    o.argv = {"postlet", "rcpt@example.org"};
    o.env = {"PATH=/bin", std::string("LD_LIBRARY_PATH=") + POSTLET_NSS_MODULE_DIR,
             "ASAN_OPTIONS=verify_asan_link_order=0"};
    if (c.getpwuid_error >= 0) {
      o.env.push_back(std::string("LD_PRELOAD=") + POSTLET_FAILING_GETPWUID);
      o.env.push_back("POSTLET_TEST_GETPWUID_ERRNO=" + std::to_string(c.getpwuid_error));
    }
    o.mounts = {{box.home + "/passwd", "/etc/passwd"}, {box.home + "/nsswitch.conf", "/etc/nsswitch.conf"}};
    const char* user = in_static ? c.user_static : c.user;
    const strings expected = user ? strings{std::string("USER=") + user} : strings{};
    if (c.getpwuid_error == -1) {
      run_options probe = o;
      probe.argv = {"probe"};
      probe.program = POSTLET_GETPWUID_PROBE;
      probe.input = input_kind::dev_null;
      EXPECT_EQ(c.user ? std::string(c.user) + "\n" : "", run(box, probe).out);
    }
    auto rec = run_to(box, o, "qmail-inject", in_static ? "" : c.err).rec;
    ASSERT_TRUE(rec.ran);
    EXPECT_EQ((strings{"bin/qmail-inject", "-a", "--", "rcpt@example.org"}), rec.argv);
    EXPECT_EQ(expected, only(rec.env, {"USER"}));
  }
}
