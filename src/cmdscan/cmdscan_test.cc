// cmdscan_test.cc: the parse: scan, permutation, arguments, reports, requests, bounds and exits.
#include "cmdscan/cmdscan.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cinttypes>
#include <string>

#include "support/cmdscan_test_support.h"

namespace postlet {
namespace {

// The variables of the test table, reset before every parse.
int32_t flag_t, bits, debug_level, quiet, unused_int;
const char* sender;
const char* optional_text;
uint64_t count_value;
int64_t level_value;
std::string calls;

void record_call(const option_desc* row, const char* argument) {
  calls += row->short_name;
  calls += ':';
  calls += argument;
  calls += ';';
}

void reset_variables() {
  flag_t = 0;
  bits = 16;  // a bit already set, so or-ing and storing differ
  debug_level = 0;
  quiet = 0;
  unused_int = 0;
  sender = nullptr;
  optional_text = nullptr;
  count_value = 99;
  level_value = 99;
  calls.clear();
  cmdscan_keep_order = 0;
  unsetenv("POSIXLY_CORRECT");
}

// The variables that differ from their reset values, in table order.
std::string render_variables() {
  std::string s;
  auto show = [&s](bool changed, const std::string& text) {
    if (changed) s += (s.empty() ? "" : " ") + text;
  };
  show(flag_t != 0, "t=" + std::to_string(flag_t));
  show(bits != 16, "or=" + std::to_string(bits));
  show(sender, std::string("f=") + (sender ? sender : ""));
  show(optional_text, std::string("o=") + (optional_text ? optional_text : ""));
  show(count_value != 99, "c=" + std::to_string(count_value));
  show(level_value != 99, "l=" + std::to_string(level_value));
  show(!calls.empty(), "x=" + calls);
  show(debug_level != 0, "d=" + std::to_string(debug_level));
  show(quiet != 0, "q=" + std::to_string(quiet));
  return s;
}

const option_desc table[] = {
    {.short_name = 't', .type = CMSC_FLAG, .variable = &flag_t, .value = 1, .help = "T."},
    {'a', "alpha", CMSC_OR, &bits, 1, "Bit one.", nullptr},
    {'b', "beta", CMSC_OR, &bits, 4, "Bit three.", nullptr},
    {'f', "from", CMSC_STRING, &sender, 0, "Set sender.\nLonger.", "SENDER"},
    {'o', "opt", CMSC_STRING | CMSC_OPTIONAL, &optional_text, 0, "Optional.", nullptr},
    {'c', "count", CMSC_ULONG, &count_value, 0, "Count.", nullptr},
    {'l', "level", CMSC_LONG, &level_value, 0, "Level.", nullptr},
    {'x', "exec", CMSC_FUNCTION, reinterpret_cast<void*>(&record_call), 0, "Call.", nullptr},
    {'d', "debug", CMSC_FLAG, &debug_level, 7, "Debug.", nullptr},
    {'z', "zap", CMSC_DISABLED, &unused_int, 0, "Disabled.", nullptr},
    {'p', "print", CMSC_PRINT, nullptr, 0, "Printed text", nullptr},
    {'q', "quiet", CMSC_FLAG | CMSC_HIDDEN, &quiet, 1, nullptr, nullptr},
    {0, "section", CMSC_TEXT, nullptr, 0, "Section:", nullptr},
    {'r', "raw", 3, &unused_int, 0, "Kind three.", nullptr},
    {'m', "min", CMSC_MIN_ARGS, &unused_int, 1, "Min.", nullptr},
    {'y', "kind13", 13, &unused_int, 0, "Kind thirteen.", nullptr},
    {},
};

struct parse_outcome {
  int result;
  std::string rest;
  std::string variables;
  std::string out;
  std::string err;
};

parse_outcome parse(const option_desc* options, arg_vector& args, int32_t* number_error = nullptr) {
  cmdscan_context ctx = test_context(options);
  ctx.number_error = 5;
  int result = cmdscan_parse(&ctx, &args.argc, args.argv());
  if (number_error) *number_error = ctx.number_error;
  return {result, args.rest(), render_variables(), recorded_text(true), recorded_text(false)};
}

TEST(CmdscanParse, OptionsArgumentsAndReports) {
  // Longer than one piece of the escaped output: the escapes are never split between pieces.
  const std::string controls = "--" + std::string(300, '\x01'), escaped = [] {
    std::string e = "prog: illegal option -- --";
    for (int i = 0; i < 300; ++i) e += "\\001";
    return e + "\n";
  }();
  const struct {
    std::initializer_list<const char*> args;
    int result;
    const char* rest;
    const char* variables;
    const char* err;
  } cases[] = {
      {{"prog"}, 1, "", "", ""},
      {{"prog", "a", "-t", "b"}, 1, "a|b", "t=1", ""},
      {{"prog", "a", "--", "-t", "b"}, 1, "a|-t|b", "", ""},
      {{"prog", "-t", "--"}, 1, "", "t=1", ""},
      {{"prog", "--", "--"}, 1, "--", "", ""},
      {{"prog", "-"}, 1, "-", "", ""},
      {{"prog", "-", "-t", "-"}, 1, "-|-", "t=1", ""},
      {{"prog", "-fjoe"}, 1, "", "f=joe", ""},
      {{"prog", "-ft"}, 1, "", "f=t", ""},
      {{"prog", "-f", "-t"}, 1, "", "f=-t", ""},
      {{"prog", "-tf", "joe", "w"}, 1, "w", "t=1 f=joe", ""},
      {{"prog", "-f=x"}, 1, "", "f==x", ""},
      {{"prog", "--from=joe"}, 1, "", "f=joe", ""},
      {{"prog", "--from=a=b"}, 1, "", "f=a=b", ""},
      {{"prog", "--from="}, 1, "", "f=", ""},
      {{"prog", "--from", "-x", "w"}, 1, "w", "f=-x", ""},
      {{"prog", "-f"}, 0, "", "", "prog: option requires an argument -- f\n"},
      {{"prog", "-t", "-f"}, 0, "", "t=1", "prog: option requires an argument -- f\n"},
      {{"prog", "--from"}, 0, "", "", "prog: option requires an argument -- from\n"},
      // Optional arguments: left out before an option or at the end, taken from a word.
      {{"prog", "-o"}, 1, "", "o=", ""},
      {{"prog", "-o", "-t"}, 1, "", "t=1 o=", ""},
      {{"prog", "-o", "-"}, 1, "-", "o=", ""},
      {{"prog", "-o", "word"}, 1, "", "o=word", ""},
      {{"prog", "-oword"}, 1, "", "o=word", ""},
      {{"prog", "--opt"}, 1, "", "o=", ""},
      {{"prog", "--opt", "-t"}, 1, "", "t=1 o=", ""},
      {{"prog", "--opt", "w"}, 1, "", "o=w", ""},
      {{"prog", "--opt=-t"}, 1, "", "o=-t", ""},
      // Flags and or-ed bits.
      {{"prog", "-ab"}, 1, "", "or=21", ""},
      {{"prog", "--beta", "--alpha"}, 1, "", "or=21", ""},
      {{"prog", "--debug"}, 1, "", "d=7", ""},
      {{"prog", "-q"}, 1, "", "q=1", ""},
      {{"prog", "--quiet", "w"}, 1, "w", "q=1", ""},
      {{"prog", "-xone", "--exec", "two", "--exec=", "-x", "-t"},
       1,
       "",
       "x=x:one;x:two;x:;x:-t;",
       ""},
      // Illegal and refused options.
      {{"prog", "--nosuch=1"}, 0, "", "", "prog: illegal option -- --nosuch\n"},
      {{"prog", "--=1"}, 0, "", "", "prog: illegal option -- --\n"},
      {{"prog", "--debug=1"}, 0, "", "", "prog: option doesn't allow an argument -- --debug\n"},
      {{"prog", "--alpha="}, 0, "", "", "prog: option doesn't allow an argument -- --alpha\n"},
      {{"prog", "--print=x"}, 0, "", "", "prog: option doesn't allow an argument -- --print\n"},
      {{"prog", "-k"}, 0, "", "", "prog: illegal option -- k\n"},
      {{"prog", "-tk", "-d"}, 0, "", "t=1", "prog: illegal option -- k\n"},
      {{"prog", "-z"}, 0, "", "", "prog: illegal option -- z\n"},
      {{"prog", "--zap"}, 0, "", "", "prog: illegal option -- --zap\n"},
      {{"prog", "--fro"}, 0, "", "", "prog: illegal option -- --fro\n"},
      {{"prog", "-\xe9"}, 0, "", "", "prog: illegal option -- \xe9\n"},
      // The caller's words come back with each control byte written \ooo.
      {{"prog", "-\x1b"}, 0, "", "", "prog: illegal option -- \\033\n"},
      {{"prog", "--no\r\nsuch\x7f=\n"}, 0, "", "", "prog: illegal option -- --no\\015\\012such\\177\n"},
      {{"prog", "-t\t"}, 0, "", "t=1", "prog: illegal option -- \\011\n"},
      {{"prog", controls.c_str()}, 0, "", "", escaped.c_str()},
      {{"prog", "-c", "\x1b[2J\\"}, 1, "", "c=0", "prog: \\033[2J\\: not a number.\n"},
      {{"prog", "-h", "x"}, 0, "", "", "prog: illegal option -- h\n"},
      {{"prog", "a", "--help"}, 0, "", "", "prog: illegal option -- --help\n"},
      {{"prog", "word", "--version"}, 0, "", "", "prog: illegal option -- --version\n"},
      // Numbers.
      {{"prog", "-c", "12x"}, 1, "", "c=12", ""},
      {{"prog", "-c", "x", "w"}, 1, "w", "c=0", "prog: x: not a number.\n"},
      {{"prog", "--count="}, 1, "", "c=0", "prog: : not a number.\n"},
      {{"prog", "-c-5"}, 1, "", "c=0", "prog: -5: not a number.\n"},
      {{"prog", "--count=18446744073709551617"}, 1, "", "c=1", ""},
      {{"prog", "-l", "-12"}, 1, "", "l=-12", ""},
      {{"prog", "-l+7"}, 1, "", "l=7", ""},
      {{"prog", "--level", "-"}, 1, "", "l=0", ""},
      {{"prog", "--level=q"}, 1, "", "l=0", "prog: q: not a number.\n"},
  };
  for (const auto& c : cases) {
    arg_vector args(c.args);
    SCOPED_TRACE(std::string(*(c.args.begin() + (c.args.size() > 1 ? 1 : 0))) + " ... (" +
                 std::to_string(c.args.size()) + " elements)");
    reset_variables();
    int32_t number_error = 0;
    parse_outcome o = parse(table, args, &number_error);
    EXPECT_EQ(c.result, o.result);
    if (c.result == 1) {
      EXPECT_EQ(c.rest, o.rest);
    }
    EXPECT_EQ(c.variables, o.variables);
    EXPECT_EQ("", o.out);
    EXPECT_EQ(c.err, o.err);
    EXPECT_EQ(std::string(c.err).find("not a number") != std::string::npos, number_error == 1);
  }
}

TEST(CmdscanParse, CompactsInPlaceAndTerminates) {
  reset_variables();
  arg_vector args{"prog", "a", "--from=joe", "-t", "b", "--", "-d", "c"};
  char** argv = args.argv();
  char* a = argv[1];
  char* b = argv[4];
  char* from = argv[2];
  parse_outcome o = parse(table, args);
  ASSERT_EQ(1, o.result);
  ASSERT_EQ(5, args.argc);
  EXPECT_EQ(args.original(0), argv[0]);
  EXPECT_EQ(a, argv[1]);
  EXPECT_EQ(b, argv[2]);
  EXPECT_STREQ("-d", argv[3]);
  EXPECT_STREQ("c", argv[4]);
  EXPECT_EQ(nullptr, argv[5]);
  // The '=' became a NUL in the caller's text, and the value points just past it.
  EXPECT_STREQ("--from", from);
  EXPECT_EQ(from + 7, sender);
  EXPECT_EQ(0, debug_level);
}

TEST(CmdscanParse, PermutationOffKeepsEverythingFromFirstArgument) {
  const struct {
    bool posix;  // else the library-wide switch
    const char* value;
  } ways[] = {{true, ""}, {true, "1"}, {false, nullptr}};
  for (const auto& w : ways) {
    SCOPED_TRACE(w.posix ? std::string("POSIXLY_CORRECT=") + w.value : "cmdscan_keep_order");
    reset_variables();
    if (w.posix) {
      setenv("POSIXLY_CORRECT", w.value, 1);
    } else {
      cmdscan_keep_order = 1;
    }
    arg_vector args{"prog", "-d", "a", "-t", "--", "b", "--nosuch"};
    parse_outcome o = parse(table, args);
    EXPECT_EQ(1, o.result);
    EXPECT_EQ("a|-t|--|b|--nosuch", o.rest);
    EXPECT_EQ("d=7", o.variables);
    EXPECT_EQ("", o.err);
  }
  reset_variables();
}

TEST(CmdscanParse, EmptyOrInconsistentVectorTrustsNullElement) {
  reset_variables();
  char* empty[] = {nullptr};
  int argc = 0;
  cmdscan_context ctx = test_context(table);
  EXPECT_EQ(1, cmdscan_parse(&ctx, &argc, empty));
  EXPECT_EQ(0, argc);
  EXPECT_EQ(nullptr, empty[0]);

  argc = 7;
  EXPECT_EQ(1, cmdscan_parse(&ctx, &argc, nullptr));
  EXPECT_EQ(0, argc);

  arg_vector longer{"prog", "-t", "a"};
  longer.argc = 9;
  EXPECT_EQ(1, parse(table, longer).result);
  EXPECT_EQ(2, longer.argc);
  EXPECT_EQ(1, flag_t);

  reset_variables();
  arg_vector shorter{"prog", "a", "-t"};
  shorter.argc = 1;
  EXPECT_EQ(1, parse(table, shorter).result);
  EXPECT_EQ("a", shorter.rest());
  EXPECT_EQ(1, flag_t);
}

TEST(CmdscanParse, PrintRowPrintsAndFinishes) {
  const struct {
    std::initializer_list<const char*> args;
    const char* variables_note;
    int32_t flag_t;
  } cases[] = {
      {{"prog", "-p"}, "alone", 0},
      {{"prog", "--print", "-k"}, "nothing after it is processed", 0},
      {{"prog", "-tpk"}, "letters before it take effect", 1},
      {{"prog", "a", "-p", "--nosuch"}, "after an argument", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.variables_note);
    reset_variables();
    arg_vector args(c.args);
    parse_outcome o = parse(table, args);
    EXPECT_EQ(2, o.result);
    EXPECT_EQ("Printed text\n", o.out);
    EXPECT_EQ("", o.err);
    EXPECT_EQ(c.flag_t, flag_t);
  }
  const option_desc ending[] = {{'p', nullptr, CMSC_PRINT, nullptr, 0, "Two\nlines\n", nullptr},
                                {}};
  arg_vector args{"prog", "-p"};
  parse_outcome o = parse(ending, args);
  EXPECT_EQ(2, o.result);
  EXPECT_EQ("Two\nlines\n", o.out);
}

// The letters h, ? and v, V answer help and version only where the table leaves them free.
TEST(CmdscanRequests, ShortcutsInALoneFirstArgument) {
  int32_t h = 0, q = 0, v = 0, upper_v = 0;
  const option_desc with_letters[] = {{'h', nullptr, CMSC_FLAG, &h, 1, "H.", nullptr},
                                      {'?', nullptr, CMSC_FLAG, &q, 1, "Q.", nullptr},
                                      {'v', nullptr, CMSC_FLAG, &v, 1, "V.", nullptr},
                                      {'V', nullptr, CMSC_FLAG, &upper_v, 1, "UV.", nullptr},
                                      {}};
  const option_desc only_h[] = {{'h', nullptr, CMSC_FLAG, &h, 1, "H.", nullptr}, {}};
  const option_desc empty[] = {{}};
  const std::string listing_start = "usage: prog [options]\n\n";
  const std::string listing_end =
      "      --longhelp             Show longer help texts for all or one option.\n";
  const struct {
    const option_desc* options;
    const char* arg;
    int result;
    const char* expect;  // "help", "version", or the flags h?vV as digits
  } cases[] = {
      {empty, "-h", 2, "help"},        {empty, "-hx", 2, "help"},
      {empty, "-?", 2, "help"},        {empty, "-?t", 2, "help"},
      {empty, "-v", 2, "version"},     {empty, "-V", 2, "version"},
      {empty, "-vq", 2, "version"},    {only_h, "-h", 1, "1000"},
      {only_h, "-?", 2, "help"},       {only_h, "-v", 2, "version"},
      {with_letters, "-h", 1, "1000"}, {with_letters, "-?", 1, "0100"},
      {with_letters, "-v", 1, "0010"}, {with_letters, "-V", 1, "0001"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arg);
    h = q = v = upper_v = 0;
    arg_vector args{"prog", c.arg};
    parse_outcome o = parse(c.options, args);
    EXPECT_EQ(c.result, o.result);
    EXPECT_EQ("", o.err);
    std::string e = c.expect;
    if (e == "help") {
      EXPECT_EQ(listing_start, o.out.substr(0, listing_start.size()));
      ASSERT_GE(o.out.size(), listing_end.size());
      EXPECT_EQ(listing_end, o.out.substr(o.out.size() - listing_end.size()));
      EXPECT_STREQ("--help", args.argv()[1]);
    } else if (e == "version") {
      EXPECT_EQ("prog (pkg) 1.2\n", o.out);
      EXPECT_STREQ("--version", args.argv()[1]);
    } else {
      EXPECT_EQ("", o.out);
      EXPECT_EQ(
          e, std::to_string(h) + std::to_string(q) + std::to_string(v) + std::to_string(upper_v));
    }
  }
}

TEST(CmdscanRequests, VersionAndCopyright) {
  int32_t x = 0;
  const option_desc no_copyright[] = {{'x', nullptr, CMSC_FLAG, &x, 1, "X.", nullptr}, {}};
  const option_desc copyright[] = {
      {0, "copyright", CMSC_PRINT, nullptr, 0, "Old text.", nullptr},
      {0, "copyright", CMSC_PRINT | CMSC_HIDDEN, nullptr, 0, "Copyright line.", nullptr},
      {}};
  const option_desc copyright_without_help[] = {
      {0, "copyright", CMSC_PRINT | CMSC_HIDDEN, nullptr, 0, nullptr, nullptr}, {}};
  const struct {
    const option_desc* options;
    std::initializer_list<const char*> args;
    const char* out;
  } cases[] = {
      {no_copyright, {"prog", "--version"}, "prog (pkg) 1.2\n"},
      {no_copyright, {"prog", "--version", "extra", "-k"}, "prog (pkg) 1.2\n"},
      {copyright, {"prog", "--version"}, "prog (pkg) 1.2\n\nCopyright line.\n"},
      {copyright, {"prog", "-V"}, "prog (pkg) 1.2\n\nCopyright line.\n"},
      {copyright_without_help, {"prog", "-v"}, "prog (pkg) 1.2\n"},
  };
  for (const auto& c : cases) {
    arg_vector args(c.args);
    parse_outcome o = parse(c.options, args);
    EXPECT_EQ(2, o.result);
    EXPECT_EQ(c.out, o.out);
    EXPECT_EQ("", o.err);
  }
}

TEST(CmdscanRequests, HelpAndLonghelpWithoutName) {
  int32_t x = 0;
  const option_desc rows[] = {{'x', nullptr, CMSC_FLAG, &x, 1, "Ex.\nMore.", nullptr}, {}};
  const std::string builtins =
      "      --version              Show version: prog (pkg) 1.2.\n"
      "      --help                 Show a list of options or the long help on one.\n";
  arg_vector help{"prog", "--help"};
  parse_outcome o = parse(rows, help);
  EXPECT_EQ(2, o.result);
  EXPECT_EQ("usage: prog [options]\n\n  -x                         Ex.\n" + builtins +
                "      --longhelp             Show longer help texts for all or one option.\n",
            o.out);
  arg_vector longhelp{"prog", "--longhelp"};
  o = parse(rows, longhelp);
  EXPECT_EQ(2, o.result);
  EXPECT_EQ(
      "usage: prog [options]\n\n  -x                         Ex.\n"
      "                             More.\n" +
          builtins +
          "                             The use with an argument shows the long help text\n"
          "                             of that option, without an argument it will list\n"
          "                             all options.\n"
          "      --longhelp             Show longer help texts for all or one option.\n",
      o.out);
}

TEST(CmdscanRequests, HelpOnOneOption) {
  int32_t x = 0;
  const option_desc rows[] = {
      {'-', nullptr, CMSC_FLAG | CMSC_HIDDEN, nullptr, 0, "Dash.", nullptr},
      {0, "-x", CMSC_FLAG | CMSC_HIDDEN, nullptr, 0, "Long dash x.", nullptr},
      {'n', nullptr, CMSC_FLAG | CMSC_HIDDEN, nullptr, 0, nullptr, nullptr},
      {'r', nullptr, CMSC_STRING | CMSC_HIDDEN, &x, 0, "Set envelope sender.", nullptr},
      {'f', "from", CMSC_STRING, &x, 0, "Set sender.\nSecond line.", "SENDER"},
      {0, "fr", CMSC_FLAG, &x, 0, "Fr.", nullptr},
      {0, "f", CMSC_FLAG, &x, 0, "Named f, but the letter row comes first.", nullptr},
      {0, "help", CMSC_TEXT, nullptr, 0, "A text row named help.", nullptr},
      {}};
  const std::string from =
      "  -f, --from=SENDER          Set sender.\n"
      "                             Second line.\n";
  const struct {
    const char* name;
    int result;
    std::string out;
  } cases[] = {
      {"f", 2, from},
      {"-f", 2, from},
      {"--from", 2, from},
      {"from", 2, from},
      {"-fr", 2, "      --fr                   Fr.\n"},
      {"fr", 2, "      --fr                   Fr.\n"},
      {"---x", 2, "      ---x                   Long dash x.\n"},
      {"--", 2, "  --                         Dash.\n"},
      {"-", 0, "no such option\n"},
      {"", 0, "no such option\n"},
      {"fro", 0, "no such option\n"},
      {"n", 0, "no help available\n"},
      // A hidden row shows the argument part of its kind: five spaces, then STRING.
      {"r", 2, "  -r     STRING              Set envelope sender.\n"},
      {"help", 2, "A text row named help.\n"},
      {"version", 2, "      --version              Show version: prog (pkg) 1.2.\n"},
      {"--longhelp", 2,
       "      --longhelp             Show longer help texts for all or one option.\n"},
  };
  for (const auto& c : cases) {
    for (const char* request : {"--help", "--longhelp"}) {
      SCOPED_TRACE(std::string(request) + " " + c.name);
      arg_vector args{"prog", request, c.name, "ignored", "-k"};
      parse_outcome o = parse(rows, args);
      EXPECT_EQ(c.result, o.result);
      EXPECT_EQ(c.out, o.out);
      EXPECT_EQ("", o.err);
    }
  }
  arg_vector args{"prog", "--help", "---x"};
  char* name = args.argv()[2];
  parse(rows, args);
  EXPECT_EQ(name + 2, args.argv()[2]);
}

TEST(CmdscanRequests, BuiltinHelpRowLongForm) {
  const option_desc none[] = {{}};
  arg_vector args{"prog", "--help", "help"};
  parse_outcome o = parse(none, args);
  EXPECT_EQ(2, o.result);
  EXPECT_EQ(
      "      --help                 Show a list of options or the long help on one.\n"
      "                             The use with an argument shows the long help text\n"
      "                             of that option, without an argument it will list\n"
      "                             all options.\n",
      o.out);
}

TEST(CmdscanBounds, CountIncludesProgramName) {
  const option_desc bounds[] = {
      {0, "at-least", CMSC_MIN_ARGS | CMSC_HIDDEN, nullptr, 1, nullptr, nullptr},
      {0, "at-least-3", CMSC_MIN_ARGS | CMSC_HIDDEN, nullptr, 3, nullptr, nullptr},
      {0, "at-most", CMSC_MAX_ARGS | CMSC_HIDDEN, nullptr, 4, nullptr, nullptr},
      {'t', nullptr, CMSC_FLAG, &flag_t, 1, "T.", nullptr},
      {}};
  const std::string more =
      "prog: need more arguments. Use the --help option for more information.\n";
  const std::string many =
      "prog: too many arguments. Use the --help option for more information.\n";
  const struct {
    std::initializer_list<const char*> args;
    int result;
    std::string err;
  } cases[] = {
      {{"prog"}, 0, more},
      {{"prog", "a"}, 0, more},
      {{"prog", "-t", "a"}, 0, more},
      {{"prog", "a", "b"}, 1, ""},
      {{"prog", "a", "-t", "b", "c"}, 1, ""},
      {{"prog", "a", "b", "c", "d"}, 0, many},
      {{"prog", "a", "--", "b", "c", "d"}, 0, many},
  };
  for (const auto& c : cases) {
    arg_vector args(c.args);
    SCOPED_TRACE(std::to_string(c.args.size()) + " elements");
    cmdscan_context ctx = test_context(bounds);
    ctx.usage = "usage: prog ARG ARG [ARG]";
    ctx.epilogue = "Report bugs.\n";
    EXPECT_EQ(c.result, cmdscan_parse(&ctx, &args.argc, args.argv()));
    EXPECT_EQ(c.err, recorded_text(false));
    EXPECT_EQ(c.result ? "" : "usage: prog ARG ARG [ARG]\nReport bugs.\n", recorded_text(true));
    // The report comes first, on standard error, then the usage on standard output.
    if (!c.result) {
      EXPECT_NE(0, recorded_pieces().front().stream);
    }
  }
}

TEST(CmdscanBounds, LowerBoundTestedBeforeUpper) {
  const option_desc crossed[] = {
      {0, "min", CMSC_MIN_ARGS | CMSC_HIDDEN, nullptr, 3, nullptr, nullptr},
      {0, "max", CMSC_MAX_ARGS | CMSC_HIDDEN, nullptr, 1, nullptr, nullptr},
      {}};
  arg_vector args{"prog", "a"};
  EXPECT_EQ(0, parse(crossed, args).result);
  EXPECT_EQ("prog: need more arguments. Use the --help option for more information.\n",
            recorded_text(false));
  EXPECT_EQ("usage: prog [options]\n\n", recorded_text(true));
}

TEST(CmdscanValidation, EmptyTableRecognisesNothing) {
  const option_desc empty[] = {{}};
  arg_vector plain{"prog", "a", "-"};
  EXPECT_EQ(1, parse(empty, plain).result);
  arg_vector option{"prog", "a", "-t"};
  EXPECT_EQ(0, parse(empty, option).result);
  EXPECT_EQ("prog: illegal option -- t\n", recorded_text(false));
  arg_vector none{"prog", "-t"};
  cmdscan_context ctx = test_context(nullptr);
  EXPECT_EQ(0, cmdscan_parse(&ctx, &none.argc, none.argv()));
}

TEST(CmdscanValidationDeathTest, BadTablesEndWithStatusOne) {
  int32_t x = 0;
  const option_desc include[] = {{'i', nullptr, CMSC_INCLUDE, &x, 0, "I.", nullptr}, {}};
  const option_desc null_variable[] = {{'x', nullptr, CMSC_FLAG, &x, 0, "X.", nullptr},
                                       {'n', nullptr, CMSC_STRING, nullptr, 0, "N.", nullptr},
                                       {}};
  const option_desc hidden_include[] = {
      {'i', nullptr, CMSC_INCLUDE | CMSC_HIDDEN, nullptr, 0, "I.", nullptr}, {}};
  const option_desc null_first[] = {{0, "null", CMSC_DISABLED, nullptr, 0, "N.", nullptr},
                                    {'i', nullptr, CMSC_INCLUDE, &x, 0, "I.", nullptr},
                                    {}};
  const option_desc include_first[] = {{'i', nullptr, CMSC_INCLUDE, &x, 0, "I.", nullptr},
                                       {'n', nullptr, CMSC_FLAG, nullptr, 0, "N.", nullptr},
                                       {}};
  const option_desc visible_bound[] = {{'m', nullptr, CMSC_MIN_ARGS, nullptr, 1, "M.", nullptr},
                                       {}};
  const struct {
    const option_desc* options;
    const char* message;
  } cases[] = {
      {include, "^CMSC_INCLUDE set in cmdscan\\(\\)\\.\n$"},
      {hidden_include, "^CMSC_INCLUDE set in cmdscan\\(\\)\\.\n$"},
      {null_variable, "^NULL variable address in cmdscan\\(\\)\\.\n$"},
      {null_first, "^NULL variable address in cmdscan\\(\\)\\.\n$"},
      {include_first, "^CMSC_INCLUDE set in cmdscan\\(\\)\\.\n$"},
      {visible_bound, "^NULL variable address in cmdscan\\(\\)\\.\n$"},
  };
  for (const auto& c : cases) {
    for (int32_t exit_when_done : {0, 1}) {
      arg_vector args{"prog", "a"};
      cmdscan_context ctx = test_context(c.options);
      ctx.output = descriptor_output;
      ctx.exit_when_done = exit_when_done;
      EXPECT_EXIT(cmdscan_parse(&ctx, &args.argc, args.argv()), testing::ExitedWithCode(1),
                  c.message);
    }
  }
}

TEST(CmdscanValidation, RowsExemptFromVariable) {
  const option_desc rows[] = {
      {'p', nullptr, CMSC_PRINT, nullptr, 0, "P.", nullptr},
      {0, "text", CMSC_TEXT, nullptr, 0, "Text.", nullptr},
      {'h', "hidden", CMSC_STRING | CMSC_HIDDEN, nullptr, 0, nullptr, nullptr},
      {'m', nullptr, CMSC_MAX_ARGS | CMSC_HIDDEN, nullptr, 3, nullptr, nullptr},
      {}};
  arg_vector args{"prog", "a", "-h", "dropped", "--hidden=x", "b"};
  parse_outcome o = parse(rows, args);
  EXPECT_EQ(1, o.result);
  EXPECT_EQ("a|b", o.rest);
  EXPECT_EQ("", o.err);
}

TEST(CmdscanExitDeathTest, ExitWhenDoneEndsFinishAndFail) {
  const struct {
    std::initializer_list<const char*> args;
    int status;
    const char* err;
  } cases[] = {
      {{"prog", "--version"}, 0, "^$"},
      {{"prog", "-h"}, 0, "^$"},
      {{"prog", "--help", "f"}, 0, "^$"},
      {{"prog", "--help", "nosuch"}, 2, "^$"},
      {{"prog", "-p"}, 0, "^$"},
      {{"prog", "-k"}, 2, "^prog: illegal option -- k\n$"},
      {{"prog", "-f"}, 2, "^prog: option requires an argument -- f\n$"},
      {{"prog", "--debug=1"}, 2, "^prog: option doesn't allow an argument -- --debug\n$"},
      {{"prog", "-m", "x"}, 1, "^prog: internal problem, unknown option type\\.\n$"},
      {{"prog", "-r", "x"}, 1, "^prog: internal problem, unknown option type\\.\n$"},
      {{"prog", "--section=x"}, 1, "^prog: internal problem, unknown option type\\.\n$"},
      {{"prog", "--kind13", "x"}, 1, "^prog: internal problem, unknown option type\\.\n$"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(*(c.args.begin() + 1));
    reset_variables();
    arg_vector args(c.args);
    cmdscan_context ctx = test_context(table);
    ctx.output = descriptor_output;
    ctx.exit_when_done = 1;
    EXPECT_EXIT(cmdscan_parse(&ctx, &args.argc, args.argv()), testing::ExitedWithCode(c.status),
                c.err);
  }
}

TEST(CmdscanExitDeathTest, InternalProblemEndsEvenWithoutExitWhenDone) {
  reset_variables();
  arg_vector args{"prog", "--raw=x"};
  cmdscan_context ctx = test_context(table);
  ctx.output = descriptor_output;
  EXPECT_EXIT(cmdscan_parse(&ctx, &args.argc, args.argv()), testing::ExitedWithCode(1),
              "^prog: internal problem, unknown option type\\.\n$");
}

TEST(CmdscanEntryDeathTest, ReturnsOnlyAfterSuccess) {
  reset_variables();
  arg_vector good{"prog", "x", "-t", "y"};
  cmdscan("prog", "pkg", "1.2", &good.argc, good.argv(), record_output, nullptr, table, nullptr);
  EXPECT_EQ("x|y", good.rest());
  EXPECT_EQ(1, flag_t);

  arg_vector bad{"prog", "--nosuch"};
  EXPECT_EXIT(cmdscan("prog", "pkg", "1.2", &bad.argc, bad.argv(), descriptor_output, nullptr,
                      table, nullptr),
              testing::ExitedWithCode(2), "^prog: illegal option -- --nosuch\n$");
  arg_vector help{"prog", "--help"};
  EXPECT_EXIT(cmdscan("prog", "pkg", "1.2", &help.argc, help.argv(), descriptor_output, nullptr,
                      table, nullptr),
              testing::ExitedWithCode(0), "^$");
}

TEST(CmdscanNumbers, ScanUlongAndScanLong) {
  const struct {
    const char* text;
    uint32_t used;
    uint64_t value;
  } unsigned_cases[] = {
      {"", 0, 0},
      {"0", 1, 0},
      {"12x", 2, 12},
      {"-5", 0, 0},
      {"+5", 0, 0},
      {" 5", 0, 0},
      {"0x10", 1, 0},
      {"18446744073709551615", 20, UINT64_MAX},
      {"18446744073709551616", 20, 0},
      {"184467440737095516170", 21, 10},
      {"\xb0\xb1", 0, 0},
  };
  for (const auto& c : unsigned_cases) {
    SCOPED_TRACE(c.text);
    uint64_t n = 77;
    EXPECT_EQ(c.used, scan_ulong(c.text, &n));
    EXPECT_EQ(c.value, n);
  }
  const struct {
    const char* text;
    uint32_t used;
    int64_t value;
  } signed_cases[] = {
      {"", 0, 0},
      {"-12", 3, -12},
      {"+7", 2, 7},
      {"-", 1, 0},
      {"+", 1, 0},
      {"x", 0, 0},
      {"--1", 1, 0},
      {"-9223372036854775808", 20, INT64_MIN},
      {"9223372036854775808", 19, INT64_MIN},
      {"-18446744073709551615", 21, 1},
  };
  for (const auto& c : signed_cases) {
    SCOPED_TRACE(c.text);
    int64_t n = 77;
    EXPECT_EQ(c.used, scan_long(c.text, &n));
    EXPECT_EQ(c.value, n);
  }
}

}  // namespace
}  // namespace postlet
