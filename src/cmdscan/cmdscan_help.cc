// cmdscan_help.cc: the usage text, the option listings, one option's help and the version line.
#include <cstdint>

#include "cmdscan/cmdscan_internal.h"
#include "lib/text.h"

namespace postlet {

constinit const option_desc cmdscan_builtin_rows[3] = {
    {.long_name = "version", .type = CMSC_FLAG, .help = "Show version: "},
    {.long_name = "help",
     .type = CMSC_FLAG,
     .help = "Show a list of options or the long help on one.\n"
             "The use with an argument shows the long help text\n"
             "of that option, without an argument it will list\n"
             "all options."},
    {.long_name = "longhelp",
     .type = CMSC_FLAG,
     .help = "Show longer help texts for all or one option."},
};

// The help text starts after this many characters; further lines are indented by all of them.
constexpr uint32_t HELP_COLUMN = 29;
static constexpr char FILL[HELP_COLUMN + 1] = "                             ";
static_assert(FILL[HELP_COLUMN - 1] == ' ' && FILL[HELP_COLUMN] == 0);
constexpr int32_t LISTING_VERSION_ROOM = 50;
constexpr uint32_t PIECE_SIZE = 128;

// The callback takes NUL-terminated pieces, so a line in the middle of a help text goes out
// through a copy; a long line simply becomes several pieces.
static void put_bytes(cmdscan_output output, const char* bytes, uint32_t n) {
  static char piece[PIECE_SIZE];
  while (n) {
    uint32_t k = n < PIECE_SIZE - 1 ? n : PIECE_SIZE - 1;
    bytes_copy(piece, k, bytes);
    piece[k] = 0;
    output(0, piece);
    bytes += k;
    n -= k;
  }
}

void cmdscan_print_text(cmdscan_output output, const char* text) {
  // A null or empty text has no last character to test; it prints as an empty line.
  if (text && text[0]) {
    output(0, text);
    if (text[text_length(text) - 1] == '\n') return;
  }
  output(0, "\n");
}

static void print_help_text(cmdscan_output output, const char* text, int long_form) {
  uint32_t end = text_find_byte(text, '\n');
  if (!text[end] || !text[end + 1]) {
    cmdscan_print_text(output, text);
    return;
  }
  put_bytes(output, text, end + 1);
  if (!long_form) return;
  const char* line = text + end + 1;
  while (*line) {
    output(0, FILL);
    end = text_find_byte(line, '\n');
    if (!line[end]) {
      output(0, line);
      output(0, "\n");
      return;
    }
    put_bytes(output, line, end + 1);
    line += end + 1;
  }
}

void cmdscan_version_line(const cmdscan_context* ctx, int width) {
  cmdscan_output output = ctx->output;
  const char* version = ctx->version ? ctx->version : "";
  int64_t room = int64_t{width} - text_length(version);
  if (ctx->program) {
    int64_t need = int64_t{text_length(ctx->program)} + 1;
    if (room >= need) {
      output(0, ctx->program);
      output(0, " ");
      room -= need;
    }
  }
  // The package is tested after the program, so it can still fit where the program did not.
  if (ctx->package && int64_t{text_length(ctx->package)} + 3 <= room) {
    output(0, "(");
    output(0, ctx->package);
    output(0, ") ");
  }
  output(0, version);
}

void cmdscan_option_help(const cmdscan_context* ctx, const option_desc* row, int long_form) {
  static char letter[3];
  cmdscan_output output = ctx->output;
  uint32_t kind = cmdscan_kind(row);
  if (kind == CMSC_TEXT) {
    cmdscan_print_text(output, row->help);
    return;
  }
  uint32_t width = 4;
  output(0, "  ");
  if (row->short_name) {
    letter[0] = '-';
    letter[1] = row->short_name;
    output(0, letter);
  } else {
    output(0, "  ");
  }
  if (row->long_name) {
    output(0, row->short_name ? ", --" : "  --");
    output(0, row->long_name);
    width += 4 + text_length(row->long_name);
  } else {
    output(0, "    ");
    width += 4;
  }
  if (kind != CMSC_FLAG && kind != CMSC_OR && kind != CMSC_PRINT) {
    const char* name = row->argument_name;
    if (!name) name = kind == CMSC_STRING ? "STRING" : "NUMBER";
    output(0, row->long_name ? "=" : " ");
    output(0, name);
    width += 1 + text_length(name);
  }
  // Only a hidden row may lack help; when one is shown anyway it is its left part alone.
  if (!row->help) {
    output(0, "\n");
    return;
  }
  output(0, FILL + (width < HELP_COLUMN - 1 ? width : HELP_COLUMN - 1));
  if (row == &cmdscan_builtin_rows[0]) {
    output(0, row->help);
    cmdscan_version_line(ctx, LISTING_VERSION_ROOM - static_cast<int>(text_length(row->help)));
    output(0, ".\n");
    return;
  }
  print_help_text(output, row->help, long_form);
}

void cmdscan_usage(const cmdscan_context* ctx, int mode) {
  cmdscan_output output = ctx->output;
  if (ctx->usage) {
    cmdscan_print_text(output, ctx->usage);
  } else {
    output(0, "usage: ");
    if (ctx->program) output(0, ctx->program);
    output(0, " [options]\n\n");
  }
  if (mode == 1 || mode == 2) {
    const option_desc* row = ctx->options;
    for (; row && (row->short_name || row->long_name); ++row) {
      if (!(row->type & CMSC_HIDDEN)) cmdscan_option_help(ctx, row, mode == 2);
    }
    for (const option_desc& builtin : cmdscan_builtin_rows) {
      cmdscan_option_help(ctx, &builtin, mode == 2);
    }
  }
  if (ctx->epilogue) cmdscan_print_text(output, ctx->epilogue);
}

}  // namespace postlet
