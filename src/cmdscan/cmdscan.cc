// cmdscan.cc: the parse: table validation, first-argument requests, the scan, the count check.
#include "cmdscan/cmdscan.h"

#include <unistd.h>

#include <cstdint>

#include "cmdscan/cmdscan_internal.h"
#include "lib/environment.h"
#include "lib/text.h"

namespace postlet {

constinit int32_t cmdscan_keep_order = 0;

// The first-argument shortcuts put these into the vector; nothing writes through them.
static constinit char help_request[] = "--help";
static constinit char version_request[] = "--version";

// What validation learns about a table.
struct table_facts {
  uint32_t rows;  // rows before the terminator; bounds every search
  int32_t has_lower;
  int32_t lower;
  int32_t has_upper;
  int32_t upper;
  const option_desc* copyright;  // the last row named "copyright", or null
  int32_t uses_h;
  int32_t uses_question;
  int32_t uses_v;
  int32_t uses_upper_v;
};

// Helpers go on scanning while they return GO_ON; finish and fail return 2 and 0.
constexpr int GO_ON = 1;

static int finish(const cmdscan_context* ctx) {
  if (ctx->exit_when_done) _exit(0);
  return 2;
}

static int fail(const cmdscan_context* ctx) {
  if (ctx->exit_when_done) _exit(2);
  return 0;
}

static void put(const cmdscan_context* ctx, int stream, const char* text) {
  if (text) ctx->output(stream, text);
}

// A word of the caller's in a diagnostic, its control bytes written \ooo, so that an option such
// as -$'\e[31m' cannot reach the terminal that reads standard error.
static void put_word(const cmdscan_context* ctx, const char* text) {
  if (text)
    text_escape_pieces(text, &CONTROL_BYTES,
                       [ctx](const char* piece, uint32_t) { ctx->output(2, piece); });
}

static void report(const cmdscan_context* ctx, const char* message, const char* what) {
  put_word(ctx, ctx->program);
  put(ctx, 2, message);
  put_word(ctx, what);
  put(ctx, 2, "\n");
}

static void report_letter(const cmdscan_context* ctx, const char* message, char c) {
  static char letter[2];
  letter[0] = c;
  report(ctx, message, letter);
}

// The variable's type is known only at run time, so values go in and out as bytes.
static void copy_value(void* destination, const void* source, uint32_t n) {
  bytes_copy(static_cast<char*>(destination), n, static_cast<const char*>(source));
}

static void call_function(const option_desc* row, const char* argument) {
  reinterpret_cast<cmdscan_function>(row->variable)(row, argument);
}

// facts arrives zeroed: an assignment of a zeroed record would be a memcpy call in some builds.
static void validate(const cmdscan_context* ctx, table_facts* facts) {
  const option_desc* table = ctx->options;
  if (!table) return;
  for (uint32_t i = 0; table[i].short_name || table[i].long_name; ++i) {
    const option_desc* row = &table[i];
    uint32_t kind = cmdscan_kind(row);
    if (kind == CMSC_MIN_ARGS) {
      facts->has_lower = 1;
      facts->lower = row->value;
    } else if (kind == CMSC_MAX_ARGS) {
      facts->has_upper = 1;
      facts->upper = row->value;
    }
    if (kind == CMSC_INCLUDE) {
      put(ctx, 2, "CMSC_INCLUDE set in cmdscan().\n");
      _exit(1);
    }
    if (kind != CMSC_PRINT && kind != CMSC_TEXT && !(row->type & CMSC_HIDDEN) && !row->variable) {
      put(ctx, 2, "NULL variable address in cmdscan().\n");
      _exit(1);
    }
    if (row->long_name && !text_compare(row->long_name, "copyright")) facts->copyright = row;
    if (row->short_name == 'h') facts->uses_h = 1;
    if (row->short_name == '?') facts->uses_question = 1;
    if (row->short_name == 'v') facts->uses_v = 1;
    if (row->short_name == 'V') facts->uses_upper_v = 1;
    facts->rows = i + 1;
  }
}

static const option_desc* find_short(const cmdscan_context* ctx, const table_facts* facts, char c) {
  for (uint32_t i = 0; i < facts->rows; ++i) {
    if (ctx->options[i].short_name == c) return &ctx->options[i];
  }
  return nullptr;
}

static const option_desc* find_long(const cmdscan_context* ctx, const table_facts* facts,
                                    const char* name) {
  for (uint32_t i = 0; i < facts->rows; ++i) {
    const char* long_name = ctx->options[i].long_name;
    if (long_name && !text_compare(long_name, name)) return &ctx->options[i];
  }
  return nullptr;
}

static void set_flag(const option_desc* row) {
  int32_t v = row->value;
  if (!row->variable) return;
  if (cmdscan_kind(row) == CMSC_OR) {
    int32_t old = 0;
    copy_value(&old, row->variable, sizeof old);
    v |= old;
  }
  copy_value(row->variable, &v, sizeof v);
}

static void not_a_number(cmdscan_context* ctx, const char* argument) {
  put_word(ctx, ctx->program);
  put(ctx, 2, ": ");
  put_word(ctx, argument);
  put(ctx, 2, ": not a number.\n");
  ctx->number_error = 1;
}

// Stores argument through row's variable by the row's kind; kinds that store nothing _exit(1).
static void cmdscan_store(cmdscan_context* ctx, const option_desc* row, const char* argument) {
  // A hidden row may lack a variable; its argument is then read and dropped.
  void* variable = row->variable;
  switch (cmdscan_kind(row)) {
  case CMSC_STRING:
    if (variable) copy_value(variable, &argument, sizeof argument);
    return;
  case CMSC_ULONG: {
    uint64_t n = 0;
    uint32_t used = scan_ulong(argument, &n);
    if (variable) copy_value(variable, &n, sizeof n);
    if (!used) not_a_number(ctx, argument);
    return;
  }
  case CMSC_LONG: {
    int64_t n = 0;
    uint32_t used = scan_long(argument, &n);
    if (variable) copy_value(variable, &n, sizeof n);
    if (!used) not_a_number(ctx, argument);
    return;
  }
  case CMSC_FUNCTION:
    if (variable) call_function(row, argument);
    return;
  default:
    put(ctx, 2, ctx->program);
    put(ctx, 2, ": internal problem, unknown option type.\n");
    _exit(1);
  }
}

static int check_count(cmdscan_context* ctx, const table_facts* facts, uint32_t count) {
  const char* part = nullptr;
  if (facts->has_lower && int64_t{count} < facts->lower) {
    part = ": need more";
  } else if (facts->has_upper && int64_t{count} > facts->upper) {
    part = ": too many";
  }
  if (!part) return 1;
  put(ctx, 2, ctx->program);
  put(ctx, 2, part);
  put(ctx, 2, " arguments. Use the --help option for more information.\n");
  cmdscan_usage(ctx, 0);
  return fail(ctx);
}

// The element after *read when it may serve as the argument (then consumed); the empty text
// for an optional argument left out; null when a required one is missing.
static const char* following_argument(const option_desc* row, char** argv, uint32_t count,
                                      uint32_t* read) {
  // A row that takes only an attached value must never swallow the address after it.
  if (row->type & CMSC_ATTACHED) return "";
  int optional = (row->type & CMSC_OPTIONAL) != 0;
  if (*read + 1 < count && !(optional && argv[*read + 1][0] == '-')) {
    ++*read;
    return argv[*read];
  }
  return optional ? "" : nullptr;
}

static int long_option(cmdscan_context* ctx, const table_facts* facts, char** argv, uint32_t count,
                       uint32_t* read) {
  char* element = argv[*read];
  char* name = element + 2;
  const char* argument = nullptr;
  uint32_t equals = text_find_byte(name, '=');
  if (name[equals]) {
    // Split in place, so every later report shows the element without its value.
    name[equals] = 0;
    argument = name + equals + 1;
  }
  const option_desc* row = find_long(ctx, facts, name);
  if (!row || cmdscan_kind(row) == CMSC_DISABLED) {
    report(ctx, ": illegal option -- ", element);
    return fail(ctx);
  }
  uint32_t kind = cmdscan_kind(row);
  if (kind == CMSC_FLAG || kind == CMSC_OR || kind == CMSC_PRINT) {
    if (argument) {
      report(ctx, ": option doesn't allow an argument -- ", element);
      return fail(ctx);
    }
    if (kind == CMSC_PRINT) {
      cmdscan_print_text(ctx->output, row->help);
      return finish(ctx);
    }
    set_flag(row);
    ++*read;
    return GO_ON;
  }
  if (!argument) argument = following_argument(row, argv, count, read);
  if (!argument) {
    report(ctx, ": option requires an argument -- ", name);
    return fail(ctx);
  }
  cmdscan_store(ctx, row, argument);
  ++*read;
  return GO_ON;
}

static int short_cluster(cmdscan_context* ctx, const table_facts* facts, char** argv,
                         uint32_t count, uint32_t* read) {
  const char* element = argv[*read];
  for (uint32_t i = 1; element[i]; ++i) {
    const option_desc* row = find_short(ctx, facts, element[i]);
    if (!row || cmdscan_kind(row) == CMSC_DISABLED) {
      report_letter(ctx, ": illegal option -- ", element[i]);
      return fail(ctx);
    }
    uint32_t kind = cmdscan_kind(row);
    if (kind == CMSC_FLAG || kind == CMSC_OR) {
      set_flag(row);
      continue;
    }
    if (kind == CMSC_PRINT) {
      cmdscan_print_text(ctx->output, row->help);
      return finish(ctx);
    }
    // The rest of the cluster is the argument when there is a rest.
    const char* argument =
        element[i + 1] ? element + i + 1 : following_argument(row, argv, count, read);
    if (!argument) {
      report_letter(ctx, ": option requires an argument -- ", element[i]);
      return fail(ctx);
    }
    cmdscan_store(ctx, row, argument);
    break;
  }
  ++*read;
  return GO_ON;
}

static int option_help_request(cmdscan_context* ctx, const table_facts* facts, char** argv) {
  char* name = argv[2];
  if (name[0] == '-') {
    ++name;
    if (name[0] == '-' && name[1]) ++name;
  }
  argv[2] = name;
  const option_desc* row = nullptr;
  for (uint32_t i = 0; i < facts->rows && !row; ++i) {
    const option_desc* r = &ctx->options[i];
    if ((r->long_name && !text_compare(r->long_name, name)) ||
        (name[0] && !name[1] && r->short_name == name[0])) {
      row = r;
    }
  }
  for (uint32_t i = 0; i < 3 && !row; ++i) {
    if (!text_compare(cmdscan_builtin_rows[i].long_name, name)) row = &cmdscan_builtin_rows[i];
  }
  if (!row) {
    put(ctx, 0, "no such option\n");
    return fail(ctx);
  }
  if (!row->help) {
    put(ctx, 0, "no help available\n");
    return fail(ctx);
  }
  cmdscan_option_help(ctx, row, 1);
  return finish(ctx);
}

static int scan(cmdscan_context* ctx, const table_facts* facts, int* argc, char** argv,
                uint32_t count) {
  // Present with any value, the empty one included, keeps the order.
  int permute = !cmdscan_keep_order && !env_get("POSIXLY_CORRECT");
  uint32_t read = 1;
  uint32_t write = 1;
  while (read < count) {
    char* element = argv[read];
    if (element[0] != '-' || !element[1]) {
      if (!permute) break;
      argv[write++] = element;
      ++read;
      continue;
    }
    if (element[1] == '-' && !element[2]) {
      ++read;
      break;
    }
    int result = element[1] == '-' ? long_option(ctx, facts, argv, count, &read)
                                   : short_cluster(ctx, facts, argv, count, &read);
    if (result != GO_ON) return result;
  }
  // The write index never passes the read index, so moving down is safe in place.
  while (read < count)
    argv[write++] = argv[read++];
  argv[write] = nullptr;
  *argc = static_cast<int>(write);
  return check_count(ctx, facts, write);
}

int cmdscan_parse(cmdscan_context* ctx, int* argc, char** argv) {
  ctx->number_error = 0;
  table_facts facts = {};
  validate(ctx, &facts);
  // The null element, not *argc, says how long the vector is.
  uint32_t count = 0;
  if (argv) {
    while (argv[count])
      ++count;
  }
  if (count < 2) {
    *argc = static_cast<int>(count);
    return check_count(ctx, &facts, 1);
  }

  if (!argv[2] && argv[1][0] == '-') {
    // Each test sees what the one before made of the element.
    if (argv[1][1] == 'h' && !facts.uses_h) argv[1] = help_request;
    if (argv[1][1] == '?' && !facts.uses_question) argv[1] = help_request;
    if (argv[1][1] == 'v' && !facts.uses_v) argv[1] = version_request;
    if (argv[1][1] == 'V' && !facts.uses_upper_v) argv[1] = version_request;
  }
  if (!text_compare(argv[1], "--version")) {
    cmdscan_version_line(ctx, 80);
    put(ctx, 0, "\n");
    if (facts.copyright && facts.copyright->help) {
      put(ctx, 0, "\n");
      cmdscan_print_text(ctx->output, facts.copyright->help);
    }
    return finish(ctx);
  }
  int mode = 0;
  if (!text_compare(argv[1], "--help")) mode = 1;
  if (!text_compare(argv[1], "--longhelp")) mode = 2;
  if (mode) {
    if (argv[2]) return option_help_request(ctx, &facts, argv);
    cmdscan_usage(ctx, mode);
    return finish(ctx);
  }
  return scan(ctx, &facts, argc, argv, count);
}

void cmdscan(const char* program, const char* package, const char* version, int* argc, char** argv,
             cmdscan_output output, const char* usage, const option_desc* options,
             const char* epilogue) {
  cmdscan_context ctx = {.program = program,
                         .package = package,
                         .version = version,
                         .usage = usage,
                         .epilogue = epilogue,
                         .output = output,
                         .options = options,
                         .exit_when_done = 1,
                         .number_error = 0};
  (void)cmdscan_parse(&ctx, argc, argv);
}

}  // namespace postlet
