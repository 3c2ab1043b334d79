// cmdscan_help_test.cc: the printers, compared byte for byte with texts written by hand.
#include <gtest/gtest.h>

#include <string>

#include "cmdscan/cmdscan.h"
#include "support/cmdscan_test_support.h"

namespace postlet {
namespace {

int32_t dummy;

std::string spaces(size_t n) {
  return std::string(n, ' ');
}

// Columns are written as a left part and the number of spaces after it, so each case says
// where the help text starts.
TEST(CmdscanHelp, OneRowLeftPartGapAndHelp) {
  const struct {
    option_desc row;
    std::string short_form;
    std::string long_form;
  } cases[] = {
      {{'f', nullptr, CMSC_STRING, &dummy, 0,
        "Set envelope sender.\nThis is the address error messages are sent to.", "SENDER"},
       "  -f     SENDER" + spaces(14) + "Set envelope sender.\n",
       "  -f     SENDER" + spaces(14) + "Set envelope sender.\n" + spaces(29) +
           "This is the address error messages are sent to.\n"},
      {{0, "environment-debug", CMSC_STRING, &dummy, 0, "debug environment.", "PRINTENV"},
       "      --environment-debug=PRINTENV debug environment.\n",
       "      --environment-debug=PRINTENV debug environment.\n"},
      {{'h', nullptr, CMSC_ULONG, &dummy, 0, "Hop count.", nullptr},
       "  -h     NUMBER" + spaces(14) + "Hop count.\n",
       "  -h     NUMBER" + spaces(14) + "Hop count.\n"},
      {{'c', "count", CMSC_LONG | CMSC_OPTIONAL, &dummy, 0, "C.", "N"},
       "  -c, --count=N" + spaces(14) + "C.\n",
       "  -c, --count=N" + spaces(14) + "C.\n"},
      {{'s', "str", CMSC_STRING | CMSC_HIDDEN, &dummy, 0, "S.", nullptr},
       "  -s, --str=STRING" + spaces(11) + "S.\n",
       "  -s, --str=STRING" + spaces(11) + "S.\n"},
      {{'t', nullptr, CMSC_FLAG, &dummy, 0, "T.", "IGNORED"},
       "  -t" + spaces(25) + "T.\n",
       "  -t" + spaces(25) + "T.\n"},
      {{0, "or", CMSC_OR, &dummy, 0, "O.", nullptr},
       "      --or" + spaces(19) + "O.\n",
       "      --or" + spaces(19) + "O.\n"},
      {{'p', "print", CMSC_PRINT, nullptr, 0, "P.", nullptr},
       "  -p, --print" + spaces(16) + "P.\n",
       "  -p, --print" + spaces(16) + "P.\n"},
      {{'z', nullptr, CMSC_DISABLED, &dummy, 0, "Z.", nullptr},
       "  -z     NUMBER" + spaces(14) + "Z.\n",
       "  -z     NUMBER" + spaces(14) + "Z.\n"},
      {{'x', nullptr, CMSC_FUNCTION, &dummy, 0, "X.", nullptr},
       "  -x     NUMBER" + spaces(14) + "X.\n",
       "  -x     NUMBER" + spaces(14) + "X.\n"},
      // Left parts of 27, 28 and 29 characters.
      {{0, "nineteen-characters", CMSC_FLAG, &dummy, 0, "H.", nullptr},
       "      --nineteen-characters  H.\n",
       "      --nineteen-characters  H.\n"},
      {{0, "twenty-characters-xx", CMSC_FLAG, &dummy, 0, "H.", nullptr},
       "      --twenty-characters-xx H.\n",
       "      --twenty-characters-xx H.\n"},
      {{0, "twenty-one-characters", CMSC_FLAG, &dummy, 0, "H.", nullptr},
       "      --twenty-one-characters H.\n",
       "      --twenty-one-characters H.\n"},
      // Help texts of one line, with and without a final newline.
      {{'G', nullptr, CMSC_FLAG, &dummy, 0, "Gateway submission (ignored).\n", nullptr},
       "  -G" + spaces(25) + "Gateway submission (ignored).\n",
       "  -G" + spaces(25) + "Gateway submission (ignored).\n"},
      {{'m', nullptr, CMSC_FLAG, &dummy, 0, "One.\nTwo.\n", nullptr},
       "  -m" + spaces(25) + "One.\n",
       "  -m" + spaces(25) + "One.\n" + spaces(29) + "Two.\n"},
      {{'e', nullptr, CMSC_FLAG, &dummy, 0, "One.\n\nThree\nB", nullptr},
       "  -e" + spaces(25) + "One.\n",
       "  -e" + spaces(25) + "One.\n" + spaces(29) + "\n" + spaces(29) + "Three\n" + spaces(29) +
           "B\n"},
      {{'n', nullptr, CMSC_FLAG, &dummy, 0, "\n", nullptr},
       "  -n" + spaces(25) + "\n",
       "  -n" + spaces(25) + "\n"},
      {{'k', nullptr, CMSC_FLAG, &dummy, 0, "\nSecond", nullptr},
       "  -k" + spaces(25) + "\n",
       "  -k" + spaces(25) + "\n" + spaces(29) + "Second\n"},
      // A text row: no indentation, every line, the final-newline rule.
      {{0, "section", CMSC_TEXT, nullptr, 0, "Section:\n  more", nullptr},
       "Section:\n  more\n",
       "Section:\n  more\n"},
      // A hidden row without help shows its left part alone.
      {{'q', nullptr, CMSC_FLAG | CMSC_HIDDEN, nullptr, 0, nullptr, nullptr},
       "  -q    \n",
       "  -q    \n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.short_form);
    for (int long_form : {0, 1}) {
      cmdscan_context ctx = test_context(nullptr);
      cmdscan_option_help(&ctx, &c.row, long_form);
      EXPECT_EQ(long_form ? c.long_form : c.short_form, recorded_text(true));
      EXPECT_EQ("", recorded_text(false));
    }
  }
}

TEST(CmdscanHelp, LinesLongerThanAnyBufferStayWhole) {
  const std::string middle(1000, 'y');
  const std::string help = "First " + std::string(300, 'f') + "\n" + middle + "\nlast";
  option_desc row = {'w', nullptr, CMSC_FLAG, &dummy, 0, help.c_str(), nullptr};
  cmdscan_context ctx = test_context(nullptr);
  cmdscan_option_help(&ctx, &row, 1);
  EXPECT_EQ("  -w" + spaces(25) + "First " + std::string(300, 'f') + "\n" + spaces(29) + middle +
                "\n" + spaces(29) + "last\n",
            recorded_text(true));
}

TEST(CmdscanHelp, PrintTextFinalNewlineRule) {
  const struct {
    const char* text;
    const char* out;
  } cases[] = {
      {"a", "a\n"},       {"a\n", "a\n"}, {"a\nb", "a\nb\n"},
      {"a\n\n", "a\n\n"}, {"", "\n"},     {nullptr, "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    recorded_pieces().clear();
    cmdscan_print_text(record_output, c.text);
    EXPECT_EQ(c.out, recorded_text(true));
    EXPECT_EQ("", recorded_text(false));
  }
}

TEST(CmdscanHelp, VersionLineDropsWhatDoesNotFit) {
  const std::string forty(40, 'p');
  const struct {
    const char* program;
    const char* package;
    const char* version;
    int width;
    std::string out;
  } cases[] = {
      {"prog", "pkg", "1.2", 80, "prog (pkg) 1.2"},
      {"prog", nullptr, "1.2", 80, "prog 1.2"},
      {forty.c_str(), "pkg", "1.2", 36, "(pkg) 1.2"},
      {forty.c_str(), "pkg", "1.2", 44, forty + " 1.2"},  // program exactly fills the room
      {forty.c_str(), "pkg", "1.2", 43, "(pkg) 1.2"},     // one short: program dropped
      {"prog", "pkg", "1.2", 14, "prog (pkg) 1.2"},       // package exactly fills the room
      {"prog", "pkg", "1.2", 13, "prog 1.2"},             // one short: package dropped
      {"prog", "pkg", "1.2", 9, "prog 1.2"},              // the program is served first
      {"prog", "pkg", "1.2", 2, "1.2"},
      {"prog", "pkg", "1.2", -5, "1.2"},
      {nullptr, "pkg", "1.2", 80, "(pkg) 1.2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out + " / " + std::to_string(c.width));
    cmdscan_context ctx = test_context(nullptr);
    ctx.program = c.program;
    ctx.package = c.package;
    ctx.version = c.version;
    cmdscan_version_line(&ctx, c.width);
    EXPECT_EQ(c.out, recorded_text(true));
  }
}

TEST(CmdscanHelp, UsageModesListingsAndEpilogue) {
  const option_desc rows[] = {
      {'a', "all", CMSC_FLAG, &dummy, 0, "All.\nEvery one.", nullptr},
      {'s', nullptr, CMSC_STRING | CMSC_HIDDEN, &dummy, 0, "Secret.", nullptr},
      {0, "text", CMSC_TEXT, nullptr, 0, "\nMore options:", nullptr},
      {'b', nullptr, CMSC_ULONG, &dummy, 0, "Bytes.", "N"},
      {0, "nohelp", CMSC_FLAG | CMSC_HIDDEN, nullptr, 0, nullptr, nullptr},
      {}};
  const std::string version_row =
      "      --version" + spaces(14) + "Show version: prog (pkg) 1.2.\n";
  const std::string help_row =
      "      --help" + spaces(17) + "Show a list of options or the long help on one.\n";
  const std::string help_more = spaces(29) + "The use with an argument shows the long help text\n" +
                                spaces(29) + "of that option, without an argument it will list\n" +
                                spaces(29) + "all options.\n";
  const std::string longhelp_row =
      "      --longhelp" + spaces(13) + "Show longer help texts for all or one option.\n";
  const struct {
    const char* usage;
    const char* epilogue;
    int mode;
    std::string out;
  } cases[] = {
      {nullptr, nullptr, 0, "usage: prog [options]\n\n"},
      {"usage: prog [options] [address ...]\n", "Ends.", 0,
       "usage: prog [options] [address ...]\nEnds.\n"},
      {"usage: prog X", "Ends.\n", 1,
       "usage: prog X\n  -a, --all" + spaces(18) + "All.\n\nMore options:\n  -b     N" +
           spaces(19) + "Bytes.\n" + version_row + help_row + longhelp_row + "Ends.\n"},
      {nullptr, nullptr, 2,
       "usage: prog [options]\n\n  -a, --all" + spaces(18) + "All.\n" + spaces(29) +
           "Every one.\n\nMore options:\n  -b     N" + spaces(19) + "Bytes.\n" + version_row +
           help_row + help_more + longhelp_row},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    cmdscan_context ctx = test_context(rows);
    ctx.usage = c.usage;
    ctx.epilogue = c.epilogue;
    cmdscan_usage(&ctx, c.mode);
    EXPECT_EQ(c.out, recorded_text(true));
    EXPECT_EQ("", recorded_text(false));
  }
}

TEST(CmdscanHelp, ListingOfEmptyTableAndLongProgramName) {
  const option_desc empty[] = {{}};
  const std::string program(40, 'p');
  cmdscan_context ctx = test_context(empty);
  ctx.program = program.c_str();
  cmdscan_usage(&ctx, 1);
  EXPECT_EQ("usage: " + program + " [options]\n\n" + "      --version" + spaces(14) +
                "Show version: (pkg) 1.2.\n" + "      --help" + spaces(17) +
                "Show a list of options or the long help on one.\n" + "      --longhelp" +
                spaces(13) + "Show longer help texts for all or one option.\n",
            recorded_text(true));
}

// The version row's own treatment belongs to the library's row, not to a row named "version".
TEST(CmdscanHelp, TableRowNamedVersionIsAnOrdinaryRow) {
  const option_desc rows[] = {{0, "version", CMSC_FLAG, &dummy, 0, "Table version.", nullptr}, {}};
  cmdscan_context ctx = test_context(rows);
  cmdscan_option_help(&ctx, &rows[0], 1);
  EXPECT_EQ("      --version" + spaces(14) + "Table version.\n", recorded_text(true));
  arg_vector args{"prog", "--help", "version"};
  recorded_pieces().clear();
  EXPECT_EQ(2, cmdscan_parse(&ctx, &args.argc, args.argv()));
  EXPECT_EQ("      --version" + spaces(14) + "Table version.\n", recorded_text(true));
}

// Every piece reaches the callback as its own call, so a callback that writes each piece at
// once produces the text; no piece is empty or carries the stream of another.
TEST(CmdscanHelp, PiecesGoToStandardOutputOnly) {
  const option_desc rows[] = {{'a', "all", CMSC_FLAG, &dummy, 0, "All.\nEvery one.", nullptr}, {}};
  cmdscan_context ctx = test_context(rows);
  cmdscan_usage(&ctx, 2);
  ASSERT_FALSE(recorded_pieces().empty());
  for (const auto& p : recorded_pieces()) {
    EXPECT_EQ(0, p.stream);
    EXPECT_FALSE(p.text.empty());
  }
}

}  // namespace
}  // namespace postlet
