// options.cc: postlet's option table, the parse of the command line and the parser's output.
#include "front/options.h"

#include <unistd.h>

#include <cerrno>

#include "front/settings.h"
#include "lib/diagnostics.h"
#include "lib/environment.h"
#include "lib/out_buffer.h"
#include "lib/text.h"

namespace postlet {

constexpr uint32_t HIDDEN = CMSC_HIDDEN;
constexpr uint32_t ATTACHED = CMSC_ATTACHED;

// -q asks for a queue run, as -bq does, and is refused the same way; whichever comes last counts.
static void queue_run(const option_desc*, const char*) {
  operation_mode = "q";
}

// clang-format off
const option_desc postlet_options[] = {
    {.short_name = 'A', .type = CMSC_STRING | HIDDEN, .variable = &ignored_text, .help = "Select configuration (ignored)."},
    {.short_name = 'B', .type = CMSC_STRING, .variable = &ignored_text, .help = "Set body type (ignored)."},
    {.short_name = 'b', .type = CMSC_STRING, .variable = &operation_mode, .help = "Select operation mode.\n-bm (mail delivery), -bp (print queue) and\n-bs (smtpd mode) are implemented.", .argument_name = "MODE"},
    {.short_name = 'c', .type = CMSC_FLAG | HIDDEN, .variable = &ignored_text, .value = 0, .help = "Connect to non-local mailers (ignored)."},
    {.short_name = 'e', .type = CMSC_STRING, .variable = &ignored_text, .help = "Error mode (ignored).\nOnly one error mode is implemented:\nFailures to queue the mail are reported immediately\nwith an exit code, other errors are reported\nthrough a bounce message.", .argument_name = "MODE"},
    {.short_name = 'E', .type = CMSC_STRING | HIDDEN | ATTACHED, .variable = &ignored_text, .help = "Code conversion. Ignored.\nSony NEWS OS uses this?"},
    {.short_name = 'F', .type = CMSC_STRING, .variable = &sender_full_name, .help = "Set fullname of sender.\nThis information is used to build the from header.", .argument_name = "NAME"},
    {.short_name = 'f', .type = CMSC_STRING, .variable = &envelope_sender, .help = "Set envelope sender.\nThis is the address error messages are sent to.", .argument_name = "SENDER"},
    {.short_name = 'G', .type = CMSC_FLAG, .variable = &ignored_flag, .value = 0, .help = "Gateway submission (ignored).\n"},
    {.short_name = 'h', .type = CMSC_ULONG, .variable = &ignored_number, .help = "Set hopcount (ignored).\nWhich insane mind would want to defeat loop\ndetection locally only? Remove the Received-Headers\ninstead."},
    {.short_name = 'i', .type = CMSC_FLAG, .variable = &ignored_flag, .value = 0, .help = "Ignore dot lines (ignored).\nIgnore dots alone on lines by themselves in\nincoming messages. This is completely stupid."},
    {.short_name = 'I', .type = CMSC_FLAG, .variable = &initialize_aliases, .value = 1, .help = "Initialize alias DBM file (forbidden).\nUse newaliases from the fastforward package instead."},
    {.short_name = 'J', .type = CMSC_STRING | HIDDEN | ATTACHED, .variable = &ignored_text, .help = "Code conversion. Ignored.\nSony NEWS OS uses this?"},
    {.short_name = 'L', .type = CMSC_STRING | HIDDEN, .variable = &log_label, .help = "Set logging label.\nThe tag of the submission's log line.", .argument_name = "LABEL"},
    {.short_name = 'm', .type = CMSC_FLAG, .variable = &ignored_flag, .value = 0, .help = "Send to me too (ignored)."},
    {.short_name = 'N', .type = CMSC_STRING, .variable = &ignored_text, .help = "Set DSN mode (ignored).\nSet delivery status notification mode.\n", .argument_name = "MODE"},
    {.short_name = 'n', .type = CMSC_FLAG, .variable = &ignored_text, .value = 0, .help = "Don't do aliasing (ignored).\npostlet doesn't do aliasing anyway.\nThis is the job of qmail."},
    {.short_name = 'O', .type = CMSC_STRING, .variable = &ignored_text, .help = "Set long option (ignored)."},
    {.short_name = 'o', .type = CMSC_STRING, .variable = &ignored_text, .help = "Set short option (ignored)."},
    {.short_name = 'p', .type = CMSC_STRING, .variable = &ignored_text, .help = "Set protocol (ignored)."},
    {.short_name = 'q', .type = CMSC_FUNCTION | HIDDEN | ATTACHED, .variable = reinterpret_cast<void*>(&queue_run), .help = "Process the queue (refused)."},
    {.short_name = 'R', .type = CMSC_STRING, .variable = &ignored_number, .help = "Set bounce size (ignored)."},
    {.short_name = 'r', .type = CMSC_STRING | HIDDEN, .variable = &envelope_sender, .help = "Set envelope sender."},
    {.short_name = 's', .type = CMSC_FLAG, .variable = &ignored_text, .value = 0, .help = "Save from lines in header (ignored)."},
    {.short_name = 't', .type = CMSC_FLAG, .variable = &header_recipients, .value = 1, .help = "Recipients in header.\nRead recipients from the message header, too."},
    {.short_name = 'T', .type = CMSC_FLAG, .variable = &ignored_number, .value = 0, .help = "Set timeout interval (ignored)."},
    {.short_name = 'U', .type = CMSC_FLAG | HIDDEN, .variable = &ignored_flag, .value = 0, .help = "Initial user submission (ignored)."},
    {.short_name = 'v', .type = CMSC_FLAG | HIDDEN, .variable = &ignored_flag, .value = 0, .help = "Verbose (ignored)."},
    {.short_name = 'V', .type = CMSC_STRING | HIDDEN, .variable = &ignored_text, .help = "Set original envelope id (ignored).", .argument_name = "ENVID"},
    {.short_name = 'X', .type = CMSC_STRING | HIDDEN, .variable = &ignored_text, .help = "Set traffic log file (ignored)."},
    {.short_name = 'x', .type = CMSC_FLAG | HIDDEN, .variable = &ignored_flag, .value = 0, .help = "Unknown option (ignored)."},
    {.long_name = "debug", .type = CMSC_FLAG, .variable = &debug_mode, .value = 1, .help = "debug postlet.\nCauses qmail-inject to print the message.\nThe message will not be sent."},
    {.long_name = "address-debug", .type = CMSC_FLAG, .variable = &address_debug, .value = 1, .help = "debug address handling.\nPrint the arguments that would be passed to\nqmail-inject. The message will not be sent."},
    {.long_name = "environment-debug", .type = CMSC_STRING, .variable = &environment_debug, .help = "debug environment.\nPrint the variables of qmail-inject's environment\nthat qmail reads (names beginning QMAIL or MAIL,\nNAME, USER, LOGNAME), one NAME=VALUE line each.\nThe message will not be sent. PRINTENV is\naccepted and ignored.", .argument_name = "PRINTENV"},
    {},
};
// clang-format on

// The project's version, handed down by the build.
#if !defined(POSTLET_VERSION)
#error "POSTLET_VERSION is defined by the build"
#endif

// A control byte in a value would reach the envelope or the header: CR or LF a line of the
// caller's choosing, the others escape sequences and worse. allowed is the one byte let through.
static int one_line(const char* text, char allowed) {
  for (; *text; ++text) {
    unsigned char c = static_cast<unsigned char>(*text);
    if ((c < 32 || c == 127) && *text != allowed) return 0;
  }
  return 1;
}

// "<>" is the null sender, as the empty text is; "<addr>", one pair of brackets around the whole
// value, is addr. Anything else stays as given.
static const char* bare_sender(const char* sender) {
  if (sender[0] != '<') return sender;
  uint32_t n = text_length(sender);
  if (n < 2 || sender[n - 1] != '>') return sender;
  for (uint32_t i = 1; i + 1 < n; ++i) {
    if (sender[i] == '<' || sender[i] == '>') return sender;
  }
  // The text lies in the argument vector, which the parser rewrites in place as well.
  const_cast<char*>(sender)[n - 1] = '\0';
  return sender + 1;
}

void parse_options(int* argc, char** argv) {
  // Options end at the first address: a word after it, whatever it begins with, is an address.
  cmdscan_keep_order = 1;
  cmdscan(program_name, "postlet", POSTLET_VERSION, argc, argv, unbuffered_output,
          "usage: postlet [options] [--] [address ...]\n"
          "Options come first: from the first address on, every argument is an address.\n",
          postlet_options, "\nReport bugs to <postlet-bugs@localhost>");
  if (envelope_sender && !one_line(envelope_sender, '\0'))
    die(2, 0, "sender address must be one line.", nullptr, nullptr, nullptr);
  if (sender_full_name && !one_line(sender_full_name, '\t'))
    die(2, 0, "full name must be one line.", nullptr, nullptr, nullptr);
  // The name goes to the injector as MAILNAME, which the kernel would refuse to start it with.
  if (sender_full_name && !env_entry_fits("MAILNAME", text_length(sender_full_name)))
    die(2, 0, "full name too long.", nullptr, nullptr, nullptr);
  if (envelope_sender) envelope_sender = bare_sender(envelope_sender);
}

void unbuffered_output(int stream, const char* text) {
  if (stream != 0) {
    // Stderr is the last resort: a failed write there has nowhere to be said.
    ssize_t written = write(2, text, text_length(text));
    static_cast<void>(written);
    return;
  }
  // Help, version and the dry run's vector are the whole answer: output lost is a failure.
  out_buffer* b = &standard_output_buffer;
  if (out_put_text(b, text) == -1 || out_flush(b) == -1)
    die(111, errno, "unable to write output", nullptr, nullptr, nullptr);
}

}  // namespace postlet
