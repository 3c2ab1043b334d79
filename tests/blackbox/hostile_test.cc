// hostile_test.cc: inputs and start-up conditions meant to break the command.
//
// Every case ends with its ordinary outcome or a diagnostic and status 111, within bounded time
// and memory, and what the executed program receives is exactly what it should be.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "blackbox/driver.h"

using namespace blackbox;

namespace {

const strings IDENTITY = {"QMAILSHOST", "QMAILSUSER", "QMAILHOST", "QMAILUSER", "USER"};

// An injector that reads nothing: it records its arguments and the offset of its descriptor 0.
void install_offset_stub(const sandbox& box) {
  blackbox::write_file(box.home + "/bin/qmail-inject",
                       "#!/bin/sh\n"
                       "printf '%s\\n' \"$0\" \"$@\" > record/offset.argv\n"
                       "sed -n 's/^pos:[[:space:]]*//p' /proc/$$/fdinfo/0 > record/offset.pos\n",
                       0755);
}

bool under_wrapper() {
  const char* w = std::getenv("POSTLET_BLACKBOX_WRAPPER");
  return w && *w;
}

// Time and memory bounds for a run of postlet that reads at most its header bound.
void expect_bounded(const blackbox::run_result& r) {
  if (under_wrapper()) return;
  EXPECT_LT(r.seconds, 10.0);
#if !defined(POSTLET_SANITIZE)
  EXPECT_LT(r.max_rss_kb, 32 * 1024);
#endif
}

}  // namespace

TEST(Hostile, EndlessOrHugeInputIsReadOnlyToTheHeaderBound) {
  const std::string sparse = "/tmp/postlet-sparse-" + std::to_string(getpid());
  {
    int fd = open(sparse.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    // 5 GiB of zero bytes without a newline, taking no disk space.
    ASSERT_EQ(0, ftruncate(fd, 5LL << 30));
    close(fd);
  }
  const struct {
    const char* name;
    std::string path;
    long long limit;
  } cases[] = {
      {"sparse 5 GiB file", sparse, 0},
      {"sparse 5 GiB file, 64 MiB address space", sparse, 64LL << 20},
      {"/dev/zero", "/dev/zero", 0},
      {"/dev/zero, 64 MiB address space", "/dev/zero", 64LL << 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
#if defined(POSTLET_SANITIZE)
    if (c.limit) continue;  // the sanitizer's shadow memory needs far more address space
#endif
    if (c.limit && under_wrapper()) continue;
    sandbox box;
    install_offset_stub(box);
    auto r = run(box, {.argv = {"postlet", "rcpt@example.org"},
                       .input = input_kind::path,
                       .stdin_path = c.path,
                       .address_space_limit = c.limit});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("bin/qmail-inject\n-a\n--\nrcpt@example.org\n",
              blackbox::read_file(box.home + "/record/offset.argv"));
    EXPECT_EQ("0\n", blackbox::read_file(box.home + "/record/offset.pos"));
    expect_bounded(r);
    std::printf("[ hostile ] %s: %.2f s, peak %ld KiB\n", c.name, r.seconds, r.max_rss_kb);
  }
  unlink(sparse.c_str());
}

TEST(Hostile, HeadersTheInjectorStillReceivesWhole) {
  std::string many;
  for (int i = 0; i < 100000; ++i) many += "Received: from host" + std::to_string(i) + "\n";
  const struct {
    const char* name;
    std::string message;
    strings identity;
  } cases[] = {
      // Capture keeps 1000 fields, so a From field after 100,000 others is never seen.
      {"100,000 fields, From last", many + "From: joe@late.example\n\nbody\n",
       {"USER=" + blackbox::login_name()}},
      {"From first, 100,000 fields after",
       "From: joe@early.example\n" + many + "\nbody\n",
       {"QMAILSHOST=early.example", "QMAILSUSER=joe"}},
      {"100,000 From fields", [] {
         std::string s;
         for (int i = 0; i < 100000; ++i) s += "From: u" + std::to_string(i) + "@h.example\n";
         return s + "\nbody\n";
       }(),
       {"QMAILSHOST=h.example", "QMAILSUSER=u0"}},
      // A NUL is a control byte like any other: the address holding it is unusable, not cut.
      {"NUL byte inside the From value", std::string("From: j") + '\0' + "oe@x.example\n\nbody\n",
       {}},
      {"NUL byte in a From comment", std::string("From: (j") + '\0' + ") joe@x.example\n\nbody\n",
       {"QMAILSHOST=x.example", "QMAILSUSER=joe"}},
      {"bytes 128 to 255 in From",
       "From: \xe9t\xe9 <\xe9t\xe9@h\xf4te.example>\nSubject: \xff\xfe\n\nbody \x80\n",
       {"QMAILSHOST=h\xf4te.example", "QMAILSUSER=\xe9t\xe9"}},
      // A NUL byte makes a field name invalid: qmail-inject's header ends there, so From is body.
      {"NUL bytes in a field name and the body",
       std::string("X-") + '\0' + "Odd: " + std::string(2, '\0') + "\nFrom: a@b.example\n\n" + '\0' +
           "body" + '\0',
       {"USER=" + blackbox::login_name()}},
      {"NUL bytes in a value and the body",
       std::string("X-Odd: ") + std::string(2, '\0') + "\nFrom: a@b.example\n\n" + '\0' + "body" + '\0',
       {"QMAILSHOST=b.example", "QMAILSUSER=a"}},
      {"a 2 MiB header line before From", "X-Long: " + std::string(2 << 20, 'x') +
                                              "\nFrom: a@b.example\n\nbody\n",
       {"USER=" + blackbox::login_name()}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sandbox box(stubs::all);
    auto [r, rec] = run_to(box, {.argv = {"postlet", "rcpt@example.org"},
                                 .env = {"PATH=/bin:/usr/bin"},
                                 .input = input_kind::file,
                                 .stdin_bytes = c.message});
    ASSERT_TRUE(rec.ran);
    EXPECT_EQ(c.message, rec.input);
    EXPECT_EQ((strings{"bin/qmail-inject", "-a", "--", "rcpt@example.org"}), rec.argv);
    EXPECT_EQ(c.identity, blackbox::only(rec.env, IDENTITY));
    if (!under_wrapper()) {
      EXPECT_LT(r.seconds, 10.0);
    }
  }
}

TEST(Hostile, HighBytesInArguments) {
  sandbox box(stubs::all);
  auto rec = run_to(box, {.argv = {"postlet", "-f", "\xe9t\xe9@h\xf4te.example",
                                   "\xff\xfe@\x80.example", "N\xe4me <n\xe4me@x.example>",
                                   "\x01\x7f"},
                          .env = {"PATH=/bin"}}).rec;
  ASSERT_TRUE(rec.ran);
  EXPECT_EQ((strings{"bin/qmail-inject", "-a", "-f", "\xe9t\xe9@h\xf4te.example", "--",
                     "\xff\xfe@\x80.example", "n\xe4me@x.example", "\x01\x7f"}),
            rec.argv);
  EXPECT_EQ((strings{"QMAILHOST=h\xf4te.example", "QMAILUSER=\xe9t\xe9"}),
            blackbox::only(rec.env, IDENTITY));
}

TEST(Hostile, StandardDescriptorsClosedAtStart) {
  const std::string message = "From: a@b.example\n\nbody\n";
  const struct {
    const char* name;
    strings argv;
    input_kind input;
    bool close_stdout, close_stderr;
    int status;
    bool executes;
  } cases[] = {
      {"0 closed", {"postlet", "r@x.example"}, input_kind::closed, false, false, 0, true},
      {"1 closed", {"postlet", "r@x.example"}, input_kind::file, true, false, 0, true},
      {"2 closed", {"postlet", "r@x.example"}, input_kind::file, false, true, 0, true},
      // Output that cannot be written is a failure.
      {"1 closed, --address-debug", {"postlet", "--address-debug", "r@x.example"},
       input_kind::file, true, false, 111, false},
      {"1 closed, --help", {"postlet", "--help"}, input_kind::file, true, false, 111, false},
      {"2 closed, a refusal", {"postlet", "-I"}, input_kind::file, false, true, 2, false},
      {"2 closed, an unknown option", {"postlet", "--no-such"}, input_kind::file, false, true, 2,
       false},
      {"0, 1 and 2 closed", {"postlet", "r@x.example"}, input_kind::closed, true, true, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sandbox box(stubs::all);
    auto r = run(box, {.argv = c.argv,
                       .env = {"PATH=/bin"},
                       .input = c.input,
                       .stdin_bytes = message,
                       .close_stdout = c.close_stdout,
                       .close_stderr = c.close_stderr});
    EXPECT_EQ(c.status, r.status);
    if (c.close_stdout) {
      EXPECT_EQ("", r.out);
    }
    if (c.close_stderr) {
      EXPECT_EQ("", r.err);
    }
    auto rec = read_record(box, "qmail-inject");
    EXPECT_EQ(c.executes, rec.ran);
    if (!rec.ran) continue;
    EXPECT_EQ((strings{"bin/qmail-inject", "-a", "--", "r@x.example"}), rec.argv);
    // With descriptor 0 open and seekable the header is read and the message passed on whole.
    if (c.input == input_kind::file) {
      EXPECT_EQ(message, rec.input);
      EXPECT_EQ((strings{"QMAILSHOST=b.example", "QMAILSUSER=a"}),
                blackbox::only(rec.env, {"QMAILSHOST", "QMAILSUSER"}));
    } else {
      EXPECT_EQ("", rec.input);
    }
  }
}

TEST(Hostile, EmptyArgumentVectorActsAsPlainPostlet) {
  if (under_wrapper()) GTEST_SKIP() << "a wrapper cannot start a program without arguments";
  // Linux since 5.18 hands a program started without arguments one empty argv[0]; older kernels
  // hand none. The stub shows which it is here; either way the name is postlet.
  sandbox probe(stubs::all);
  run(probe, {.argv = {}, .program = probe.home + "/bin/qmail-inject"});
  auto given = read_record(probe, "qmail-inject");
  ASSERT_TRUE(given.ran && (given.argv.empty() || given.argv == strings{""}));
  sandbox box(stubs::all);
  auto r = run(box, {.argv = {}, .env = {"PATH=/bin", "USER=u"}, .stdin_bytes = "body\n"});
  // As plain "postlet": without an address nothing is queued.
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("postlet: no recipients. give addresses as arguments or use -t.\n", r.err);
  EXPECT_FALSE(read_record(box, "qmail-inject").ran);
}

TEST(Hostile, HundredThousandRecipientArguments) {
  sandbox box(stubs::all);
  run_options o;
  o.argv = {"postlet"};
  strings expected = {"bin/qmail-inject", "-a", "--"};
  for (int i = 0; i < 100000; ++i) {
    std::string a = std::string("r").append(std::to_string(i));
    o.argv.push_back(a);
    expected.push_back(a);
  }
  // A few that the strict parse reduces or refuses, among them.
  o.argv[500] = "Joe <j@x>";
  expected[502] = "j@x";
  o.argv[70000] = "a b";
  expected[70002] = "a b";
  o.env = {"PATH=/bin", "USER=u"};
  o.stdin_bytes = "body\n";
  auto [r, rec] = run_to(box, o);
  ASSERT_TRUE(rec.ran);
  EXPECT_EQ(expected.size(), rec.argv.size());
  EXPECT_TRUE(expected == rec.argv);
  if (!under_wrapper()) {
    EXPECT_LT(r.seconds, 20.0);
  }
  std::printf("[ hostile ] 100,000 recipients: %.2f s, peak %ld KiB\n", r.seconds, r.max_rss_kb);
}

TEST(Hostile, HugeEnvironmentVariables) {
  // Linux refuses a single environment string of 128 KiB or more, so the largest that passes
  // stands for one huge variable, and eight of 128 KiB make a 1 MiB environment.
  const size_t largest = 131072 - 1;
  auto variable = [](const std::string& name, size_t total, char fill) {
    return name + "=" + std::string(total - name.size() - 1, fill);
  };
  const std::string big_user = variable("USER", largest, 'u');
  const std::string big_inject = variable("QMAILINJECT", largest - 1, 'x') + "f";
  strings megabyte;
  for (int i = 0; i < 8; ++i) megabyte.push_back(variable("BIG" + std::to_string(i), largest, 'b'));

  const struct {
    const char* name;
    strings env;
    strings identity;
  } cases[] = {
      {"USER of 128 KiB", {big_user}, {big_user}},
      {"QMAILINJECT of 128 KiB ending in f", {big_inject}, {"USER=" + blackbox::login_name()}},
      {"1 MiB of environment", megabyte, {"QMAILSHOST=b.example", "QMAILSUSER=a"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sandbox box(stubs::all);
    run_options o;
    o.argv = {"postlet", "r@x.example"};
    o.input = input_kind::file;
    o.stdin_bytes = "From: a@b.example\n\nbody\n";
    o.env = c.env;
    o.env.push_back("PATH=/bin");
    auto rec = run_to(box, o).rec;
    ASSERT_TRUE(rec.ran);
    EXPECT_EQ((strings{"bin/qmail-inject", "-a", "--", "r@x.example"}), rec.argv);
    EXPECT_EQ(c.identity, blackbox::only(rec.env, IDENTITY));
    // Every inherited variable reaches the injector byte for byte.
    for (const auto& e : c.env) {
      EXPECT_NE(rec.env.end(), std::find(rec.env.begin(), rec.env.end(), e))
          << e.substr(0, e.find('='));
    }
  }
}
