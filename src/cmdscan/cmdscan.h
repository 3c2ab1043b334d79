// cmdscan.h: the table-driven command-line parser with its help, usage and version printers.
#pragma once

#include <cstdint>
#include <type_traits>

namespace postlet {

// Kinds of an option row: the row's type with the flags CMSC_HIDDEN, CMSC_OPTIONAL and
// CMSC_ATTACHED cleared.
constexpr uint32_t CMSC_FLAG = 0;       // no argument; value is stored into an int32_t
constexpr uint32_t CMSC_OR = 1;         // no argument; value is or-ed into an int32_t
constexpr uint32_t CMSC_STRING = 2;     // a const char* set to the argument text itself
constexpr uint32_t CMSC_ULONG = 4;      // a uint64_t read by scan_ulong
constexpr uint32_t CMSC_LONG = 5;       // an int64_t read by scan_long
constexpr uint32_t CMSC_FUNCTION = 6;   // a cmdscan_function called with the row and argument
constexpr uint32_t CMSC_DISABLED = 7;   // listed, but refused like an unknown option
constexpr uint32_t CMSC_PRINT = 8;      // no argument; prints the row's help and finishes
constexpr uint32_t CMSC_TEXT = 9;       // a text line of the help listing
constexpr uint32_t CMSC_INCLUDE = 10;   // unsupported; a table holding one is refused
constexpr uint32_t CMSC_MIN_ARGS = 11;  // value: the smallest final argument count
constexpr uint32_t CMSC_MAX_ARGS = 12;  // value: the largest final argument count
// Flags or-ed into the type.
constexpr uint32_t CMSC_HIDDEN = 0x10000;    // left out of listings and of the variable check
constexpr uint32_t CMSC_OPTIONAL = 0x20000;  // the argument of kinds 2 to 6 may be left out
// The argument of kinds 2 to 6 is taken only when attached (-Ex, --name=x), never from the next
// element; left out, it is the empty text.
constexpr uint32_t CMSC_ATTACHED = 0x40000;

// One row of an option table; the table ends at the first row without short and long name.
struct option_desc {
  char short_name;            // the letter without its dash, or 0
  const char* long_name;      // the name without its two dashes, or null
  uint32_t type;              // kind | flags
  void* variable;             // where the value goes; its type follows the kind
  int32_t value;              // stored by CMSC_FLAG, or-ed by CMSC_OR, the bound of the count rows
  const char* help;           // lines separated by '\n'; the first one is the short help
  const char* argument_name;  // shown for the argument in listings; null: STRING or NUMBER
};
static_assert(std::is_trivial_v<option_desc> && std::is_standard_layout_v<option_desc>);

// Stream 0 is standard output, any other standard error; each text is emitted whole, unchanged.
using cmdscan_output = void (*)(int stream, const char* text);
// What a CMSC_FUNCTION row's variable points at.
using cmdscan_function = void (*)(const option_desc* row, const char* argument);

// The state of one parse.
struct cmdscan_context {
  const char* program;    // begins every diagnostic line
  const char* package;    // shown in parentheses in the version line, or null
  const char* version;    // never null
  const char* usage;      // the usage text, or null for the default line
  const char* epilogue;   // printed after the usage text and every listing, or null
  cmdscan_output output;  // everything is printed through it
  const option_desc* options;
  int32_t exit_when_done;  // set: finish is _exit(0) and fail is _exit(2) instead of 2 and 0
  int32_t number_error;    // cleared by every parse, set when a number argument had no digit
};
static_assert(std::is_trivial_v<cmdscan_context> && std::is_standard_layout_v<cmdscan_context>);

// Set: options after the first non-option argument are left in place. Off by default.
extern int32_t cmdscan_keep_order;

// Parses with exit_when_done set: comes back only after success, with *argc and argv holding
// the program name and the non-option arguments. Nothing is allocated; argv is rewritten.
void cmdscan(const char* program, const char* package, const char* version, int* argc, char** argv,
             cmdscan_output output, const char* usage, const option_desc* options,
             const char* epilogue);
// 1: success, argv compacted and null-terminated after *argc elements; 2: help, version or a
// CMSC_PRINT text was printed; 0: an error was reported. A bad table ends in _exit(1). In an
// error line the program name and the caller's word have each control byte written \ooo.
// argv must hold a null element; the element count is taken from it, not from *argc.
int cmdscan_parse(cmdscan_context* ctx, int* argc, char** argv);
// Decimal digits from the start of text into *result, modulo 2^64; stores even when none was
// read. Returns the digits consumed.
uint32_t scan_ulong(const char* text, uint64_t* result);
// An optional '-' or '+', then the digits of scan_ulong; stores always. Returns the characters
// consumed, the sign included.
uint32_t scan_long(const char* text, int64_t* result);

// Writes text, then "\n" unless it ends in '\n'; a null or empty text writes just "\n".
void cmdscan_print_text(cmdscan_output output, const char* text);
// Mode 0: usage text and epilogue; 1: with the short listing between them; 2: the long listing.
void cmdscan_usage(const cmdscan_context* ctx, int mode);
// One row of a listing; long_form set writes every line of its help text, else the first.
void cmdscan_option_help(const cmdscan_context* ctx, const option_desc* row, int long_form);
// Program name, "(package)" and version, leaving out the first two where they do not fit the
// width. No newline.
void cmdscan_version_line(const cmdscan_context* ctx, int width);

}  // namespace postlet
