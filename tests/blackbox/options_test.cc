// options_test.cc: the command line of the built binary: help texts, diagnostics, arguments.
#include <gtest/gtest.h>

#include <algorithm>

#include "blackbox/driver.h"

using namespace blackbox;

static std::string golden(const char* name) {
  return read_file(std::string(GOLDEN_DIR) + "/" + name);
}

TEST(Options, HelpVersionAndPerOptionHelp) {
  const std::string fill(29, ' ');
  const struct {
    strings argv;
    std::string out;
    int status;
  } cases[] = {
      {{"postlet", "--help"}, golden("help.txt"), 0},
      {{"postlet", "-?"}, golden("help.txt"), 0},
      {{"postlet", "--longhelp"}, golden("longhelp.txt"), 0},
      {{"postlet", "--version"}, "postlet (postlet) 0.1.6\n", 0},
      {{"postlet", "--version", "extra"}, "postlet (postlet) 0.1.6\n", 0},
      {{"/usr/lib/sendmail", "--version"}, "sendmail (postlet) 0.1.6\n", 0},
      {{"postlet", "--help", "f"},
       "  -f     SENDER              Set envelope sender.\n" + fill +
           "This is the address error messages are sent to.\n",
       0},
      {{"postlet", "--longhelp", "-f"},
       "  -f     SENDER              Set envelope sender.\n" + fill +
           "This is the address error messages are sent to.\n",
       0},
      {{"postlet", "--help", "r"}, "  -r     STRING              Set envelope sender.\n", 0},
      {{"postlet", "--help", "--environment-debug"},
       "      --environment-debug=PRINTENV debug environment.\n" + fill +
           "Print the variables of qmail-inject's environment\n" + fill +
           "that qmail reads (names beginning QMAIL or MAIL,\n" + fill +
           "NAME, USER, LOGNAME), one NAME=VALUE line each.\n" + fill +
           "The message will not be sent. PRINTENV is\n" + fill + "accepted and ignored.\n",
       0},
      {{"postlet", "--help", "version"},
       "      --version              Show version: postlet (postlet) 0.1.6.\n", 0},
      {{"postlet", "--help", "G"}, "  -G                         Gateway submission (ignored).\n",
       0},
      {{"postlet", "--help", "h"},
       "  -h     NUMBER              Set hopcount (ignored).\n" + fill +
           "Which insane mind would want to defeat loop\n" + fill +
           "detection locally only? Remove the Received-Headers\n" + fill + "instead.\n",
       0},
      {{"postlet", "--help", "nosuch"}, "no such option\n", 2},
      {{"postlet", "--help", "-"}, "no such option\n", 2},
  };
  sandbox box;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argv.back());
    auto r = run(box, {.argv = c.argv});
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(c.out, r.out);
    EXPECT_EQ("", r.err);
  }
}

TEST(Options, Diagnostics) {
  const std::string usage_after = "usage: postlet [options] [address ...]\n\nReport bugs to <postlet-bugs@localhost>\n";
  const struct {
    strings argv;
    std::string err;
    int status;
  } cases[] = {
      {{"postlet", "-Z"}, "postlet: illegal option -- Z\n", 2},
      {{"postlet", "-tZ", "joe"}, "postlet: illegal option -- Z\n", 2},
      {{"postlet", "--nosuch=1"}, "postlet: illegal option -- --nosuch\n", 2},
      {{"postlet", "-t", "--help"}, "postlet: illegal option -- --help\n", 2},
      {{"postlet", "-f"}, "postlet: option requires an argument -- f\n", 2},
      {{"postlet", "--environment-debug"},
       "postlet: option requires an argument -- environment-debug\n", 2},
      {{"postlet", "--debug=1"}, "postlet: option doesn't allow an argument -- --debug\n", 2},
      {{"mailq", "-Q"}, "mailq: illegal option -- Q\n", 2},
      // The caller's words come back with their control bytes written \ooo.
      {{"postlet", "-\x1b"}, "postlet: illegal option -- \\033\n", 2},
      {{"mail\x01q", "--x\ty"}, "mail\\001q: illegal option -- --x\\011y\n", 2},
      // A line break in a value would become a header line of the caller's choosing.
      {{"postlet", "-f", "a@b\nBcc: v@x", "ann"}, "postlet: sender address must be one line.\n", 2},
      {{"postlet", "-r", "a@b\r", "ann"}, "postlet: sender address must be one line.\n", 2},
      {{"postlet", "--address-debug", "-f\n", "ann"}, "postlet: sender address must be one line.\n", 2},
      {{"postlet", "-F", "Evil\nBcc: victim@example.org", "ann"}, "postlet: full name must be one line.\n", 2},
      {{"postlet", "-bp", "-F", "x\ry"}, "postlet: full name must be one line.\n", 2},
      // Any other control byte is refused too: escape sequences, DEL, NUL's neighbours.
      {{"postlet", "-f", "a@b\v", "ann"}, "postlet: sender address must be one line.\n", 2},
      {{"postlet", "-r\x01a@b", "ann"}, "postlet: sender address must be one line.\n", 2},
      {{"postlet", "-f", "a\t@b", "ann"}, "postlet: sender address must be one line.\n", 2},
      {{"postlet", "-f", "a@b\x7f", "ann"}, "postlet: sender address must be one line.\n", 2},
      {{"postlet", "-F", "A\x1b[31mB", "ann"}, "postlet: full name must be one line.\n", 2},
      {{"postlet", "-F", "A\x7f", "ann"}, "postlet: full name must be one line.\n", 2},
      {{"postlet", "-F", "\x1f", "ann"}, "postlet: full name must be one line.\n", 2},
      // MAILNAME=, the name and its NUL: one byte past what the kernel starts a program with.
      {{"postlet", "-F", std::string(131063, 'n'), "ann"}, "postlet: full name too long.\n", 2},
      {{"postlet", "-L"}, "postlet: option requires an argument -- L\n", 2},
      {{"postlet", "-V"}, "postlet: option requires an argument -- V\n", 2},
      // A queue run is asked for with -q as with -bq, an interval attached or not.
      {{"postlet", "-q"}, "postlet: queuemode not implemented. send an alarm to qmail-send.\n", 2},
      {{"postlet", "-q30m", "joe"}, "postlet: queuemode not implemented. send an alarm to qmail-send.\n", 2},
      {{"postlet", "-bm", "-q"}, "postlet: queuemode not implemented. send an alarm to qmail-send.\n", 2},
  };
  sandbox box(stubs::all);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argv.back());
    auto r = run(box, {.argv = c.argv});
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(c.err, r.err);
    EXPECT_EQ("", r.out);
    EXPECT_FALSE(read_record(box, "qmail-inject").ran);
  }
}

TEST(Options, ArgumentsReachingTheInjector) {
  const struct {
    strings argv;
    strings env;
    strings injected;  // after bin/qmail-inject
    std::string err;
  } cases[] = {
      {{"postlet", "-fjoe", "ann"}, {}, {"-a", "-f", "joe", "--", "ann"}},
      {{"postlet", "-f", "-t", "ann"}, {}, {"-a", "-f", "-t", "--", "ann"}},
      {{"postlet", "-tf", "joe", "ann"}, {}, {"-H", "-f", "joe", "--", "ann"}},
      {{"postlet", "-ft", "ann"}, {}, {"-a", "-f", "t", "--", "ann"}},
      {{"postlet", "-f", "", "ann"}, {}, {"-a", "-f", "", "--", "ann"}},
      {{"postlet", "-f", "<>", "ann"}, {}, {"-a", "-f", "", "--", "ann"}},
      {{"postlet", "-r<>", "ann"}, {}, {"-a", "-f", "", "--", "ann"}},
      {{"postlet", "-f", "<a@b>", "ann"}, {}, {"-a", "-f", "a@b", "--", "ann"}},
      {{"postlet", "-f", "<a<b>", "ann"}, {}, {"-a", "-f", "<a<b>", "--", "ann"}},
      {{"postlet", "-f", "<a@b", "ann"}, {}, {"-a", "-f", "<a@b", "--", "ann"}},
      {{"postlet", "-oi", "-odb", "-oem", "-i", "ann"}, {}, {"-a", "--", "ann"}},
      {{"postlet", "-h", "12x", "ann"}, {}, {"-a", "--", "ann"}},
      {{"postlet", "-h", "x", "ann"}, {}, {"-a", "--", "ann"}, "postlet: x: not a number.\n"},
      {{"postlet", "-T", "word"}, {}, {"-a", "--", "word"}},
      {{"postlet", "-G", "-m", "-c", "-n", "-s", "-U", "-v", "-x", "w"}, {}, {"-a", "--", "w"}},
      {{"postlet", "-V", "myenvid", "joe"}, {}, {"-a", "--", "joe"}},
      {{"postlet", "-Ac", "-A", "m", "joe"}, {}, {"-a", "--", "joe"}},
      {{"postlet", "-q", "-bm", "joe"}, {}, {"-a", "--", "joe"}},
      // -E and -J take only an attached value: the next word stays an address.
      {{"postlet", "-E", "-t", "ann"}, {}, {"-H", "--", "ann"}},
      {{"postlet", "-E", "joe"}, {}, {"-a", "--", "joe"}},
      {{"postlet", "-Ex", "joe"}, {}, {"-a", "--", "joe"}},
      {{"postlet", "-J", "word", "ann"}, {}, {"-a", "--", "word", "ann"}},
      {{"postlet", "-Lmylabel", "ann"}, {}, {"-a", "--", "ann"}},
      {{"postlet", "-L", "x", "joe"}, {}, {"-a", "--", "joe"}},
      {{"postlet", "-L", "-t", "joe"}, {}, {"-a", "--", "joe"}},
      {{"postlet", "-F", "Ann\tB", "joe"}, {}, {"-a", "--", "joe"}},
      // Options end at the first address: what follows is passed on as addresses, "--" included.
      {{"postlet", "ann", "--", "-t", "bob"}, {}, {"-a", "--", "ann", "--", "-t", "bob"}},
      {{"postlet", "-", "ann"}, {}, {"-a", "--", "-", "ann"}},
      {{"postlet", "ann", "-t", "bob"}, {}, {"-a", "--", "ann", "-t", "bob"}},
      {{"postlet", "ann", "-t", "bob"}, {"POSIXLY_CORRECT="}, {"-a", "--", "ann", "-t", "bob"}},
      {{"postlet", "joe", "--help"}, {}, {"-a", "--", "joe", "--help"}},
      {{"postlet", "-oi", "victim@example.org", "--environment-debug=sh"}, {},
       {"-a", "--", "victim@example.org", "--environment-debug=sh"}},
      {{"postlet", "-oi", "victim@example.org", "-bs"}, {}, {"-a", "--", "victim@example.org", "-bs"}},
      {{"postlet", "ann", "-f", "x@y", "-I"}, {}, {"-a", "--", "ann", "-f", "x@y", "-I"}},
      {{"postlet", "-bp", "-bm", "ann"}, {}, {"-a", "--", "ann"}},
      {{"postlet", "-f", "a@x", "-r", "b@y", "ann"}, {}, {"-a", "-f", "b@y", "--", "ann"}},
      {{"postlet", "-r", "b@y", "-f", "a@x", "ann"}, {}, {"-a", "-f", "a@x", "--", "ann"}},
      // The dry run of --debug shows the message even without an address.
      {{"postlet", "--debug"}, {}, {"-a", "-n", "--"}},
      {{"postlet", "--debug", "-t", "ann"}, {}, {"-H", "-n", "--", "ann"}},
      {{"postlet", "-t", "ann", "bob"}, {}, {"-H", "--", "ann", "bob"}},
  };
  for (const auto& c : cases) {
    std::string trace;
    for (const auto& a : c.argv) trace += "[" + a + "]";
    SCOPED_TRACE(trace);
    sandbox box(stubs::all);
    run_options o;
    o.argv = c.argv;
    o.env = c.env;
    o.env.push_back("USER=joe");
    auto rec = run_to(box, o, "qmail-inject", c.err).rec;
    ASSERT_TRUE(rec.ran);
    strings expected = {"bin/qmail-inject"};
    expected.insert(expected.end(), c.injected.begin(), c.injected.end());
    EXPECT_EQ(expected, rec.argv);
  }
}

TEST(Options, AddressDebugPrintsTheVectorInstead) {
  const struct {
    strings argv;
    std::string out;
  } cases[] = {
      {{"postlet", "--address-debug", "-t", "joe"}, "bin/qmail-inject\n-H\n--\njoe\n"},
      // Both dry runs: the vector, then the environment (here just the one variable).
      {{"postlet", "--address-debug", "--environment-debug", "printenv", "joe"},
       "bin/qmail-inject\n-a\n--\njoe\nUSER=joe\n"},
      {{"postlet", "--address-debug", "-f", "", "--debug"}, "bin/qmail-inject\n-a\n-n\n-f\n\n--\n"},
  };
  sandbox box(stubs::all);
  for (const auto& c : cases) {
    auto r = run(box, {.argv = c.argv, .env = {"USER=joe"}});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(c.out, r.out);
    EXPECT_EQ("", r.err);
  }
  EXPECT_FALSE(read_record(box, "qmail-inject").ran);
}

// --environment-debug runs nothing, whatever program it names: it prints, one line each, the
// environment that the injector receives in the same run without it.
TEST(Options, EnvironmentDebugPrintsWhatTheInjectorWouldGet) {
  // Shown: the injector's variables that qmail reads, in its order; the caller's others never.
  const struct {
    strings argv;  // with the dry run, which the real run leaves out
    strings env;
    strings hidden;  // the names of the injector's environment that are not shown
    input_kind input;
    std::string message;
  } cases[] = {
      {{"postlet", "-F", "Joe Doe", "--environment-debug", "sh", "joe"},
       {"PATH=/nonexistent:.", "USER=joe", "DB_PASSWORD=s3cret", "NAME=Joe", "USERNAME=j"},
       {"PATH", "DB_PASSWORD", "USERNAME"}},
      // A caller's fifth parameter with spaces: the word names sh, and nothing runs it.
      {{"postlet", "-t", "-i", "-fa@b.org", "--environment-debug=sh"},
       {"PATH=.", "HTTP_COOKIE=sid=1", "REDIRECT_DB_PASSWORD=x"},
       {"PATH", "HTTP_COOKIE", "REDIRECT_DB_PASSWORD"}, input_kind::pipe,
       "To: joe\nSubject: x\n\necho PWNED\n"},
      {{"postlet", "--environment-debug=/bin/sh", "-f", "a@b.example", "joe"},
       {"QMAILHOST=h", "LOGNAME=x", "XQMAIL=1", "MAILHOST=m", "QMAILINJECT=c", "LOGNAMES=y"},
       {"XQMAIL", "LOGNAMES"}},
      {{"postlet", "--environment-debug=sh", "joe"}, {}, {}, input_kind::file,
       "From: Ann <ann@example.com>\n\nbody\n"},
      {{"postlet", "--environment-debug=sh", "joe"},
       {"USER=joe", "HOME=/home/joe", "QMAILSHOST=old", "MAIL=/var/mail/joe", "NAM=n"},
       {"HOME", "NAM"}, input_kind::file, "Sender: s@lists.example\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argv.back());
    sandbox box(stubs::all);
    box.install_stub("sh");
    run_options o{.argv = {}, .env = c.env, .input = c.input, .stdin_bytes = c.message};
    for (const auto& a : c.argv) {
      if (a.rfind("--environment-debug", 0) != 0 && a != "sh") o.argv.push_back(a);
    }
    auto real = run_to(box, o).rec;
    ASSERT_TRUE(real.ran);
    o.argv = c.argv;
    auto r = run(box, o);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    std::string expected;
    for (const auto& e : real.env) {
      if (std::find(c.hidden.begin(), c.hidden.end(), e.substr(0, e.find('='))) == c.hidden.end())
        expected += e + "\n";
    }
    EXPECT_NE("", expected);
    EXPECT_EQ(expected, r.out);
    EXPECT_FALSE(read_record(box, "sh").ran);
  }
}

TEST(Options, OutputThatCannotBeWrittenIsAFailure) {
  const strings requests[] = {{"--help"},
                              {"--longhelp"},
                              {"--version"},
                              {"--help", "f"},
                              {"--help", "nosuch"},
                              {"--address-debug", "ann"}};
  const struct {
    const char* name;
    std::string stdout_path;
    bool closed;
    bool reader_gone;
    const char* error;
  } outputs[] = {
      {"/dev/full", "/dev/full", false, false, "out of disk space"},
      {"closed", "", true, false, "file descriptor not open"},
      {"pipe without a reader", "", false, true, "broken pipe"},
  };
  sandbox box(stubs::all);
  for (const auto& request : requests) {
    for (const auto& output : outputs) {
      SCOPED_TRACE(request[0] + " to " + output.name);
      run_options o;
      o.argv = {"postlet"};
      o.argv.insert(o.argv.end(), request.begin(), request.end());
      o.env = {"USER=joe"};
      o.stdout_path = output.stdout_path;
      o.close_stdout = output.closed;
      o.stdout_reader_gone = output.reader_gone;
      auto r = run(box, o);
      EXPECT_EQ(111, r.status);
      EXPECT_EQ(std::string("postlet: fatal: unable to write output: ") + output.error + "\n",
                r.err);
    }
  }
  EXPECT_FALSE(read_record(box, "qmail-inject").ran);
}
